#include "network/CurlGlobal.h"

#include <curl/curl.h>

#include <mutex>

namespace qelta::network {

namespace {
std::mutex curlLock;
int curlUsers = 0;
bool curlReady = false;
}  // namespace

void AcquireCurl() {
  std::lock_guard<std::mutex> hold(curlLock);
  if (curlUsers++ == 0) curlReady = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
}

void ReleaseCurl() {
  std::lock_guard<std::mutex> hold(curlLock);
  if (curlUsers == 0) return;
  if (--curlUsers == 0 && curlReady) {
    curl_global_cleanup();
    curlReady = false;
  }
}

}  // namespace qelta::network
