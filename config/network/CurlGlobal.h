// libcurl's global state for the whole process.
#pragma once

namespace qelta::network {

// libcurl's global state, set up while anyone in the process uses it and cleaned up after the
// last: discovery holds it for the form's life, a run over many stations for its workers. Set-up
// and clean-up are not thread-safe in libcurl; here they happen under one lock, and never while a
// user remains.
void AcquireCurl();
void ReleaseCurl();
class CurlUse {
 public:
  CurlUse() { AcquireCurl(); }
  ~CurlUse() { ReleaseCurl(); }
  CurlUse(const CurlUse&) = delete;
  CurlUse& operator=(const CurlUse&) = delete;
};

}  // namespace qelta::network
