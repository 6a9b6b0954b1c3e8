// The tester log "TesterComm.txt" in the working folder: one "code<TAB>text" line per entry.
#include <cstdio>
#include <mutex>

#include "interface/LinkState.h"

void CHalvexCtrl::Impl::TesterLog(int code, const std::string& text) {
  static std::mutex m;
  std::lock_guard lock(m);
  // A log that cannot be written is skipped: the host goes on.
  if (FILE* f = std::fopen("TesterComm.txt", "a")) {
    std::fprintf(f, "%d\t%s\n", code, text.c_str());
    std::fclose(f);
  }
}
