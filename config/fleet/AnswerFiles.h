// The files a station's work writes the modules' answers into, in the working folder. One station
// at a time, they carry fixed names; stations at once each write their own, the name with the
// station's suffix before the extension, so that no two workers write one file.
#pragma once

#include <cstdio>
#include <map>
#include <string>

namespace qelta::fleet {

// "default_setup.html" with the suffix "127.0.0.5" gives "default_setup_127.0.0.5.html"; a name
// without an extension gets the suffix at its end.
std::string SuffixedFileName(const std::string& name, const std::string& suffix);

// Answer files opened for one station (or for a whole phase) and closed together.
class AnswerFiles {
 public:
  AnswerFiles() = default;
  ~AnswerFiles() { CloseAll(); }
  AnswerFiles(const AnswerFiles&) = delete;
  AnswerFiles& operator=(const AnswerFiles&) = delete;

  // The file under `key`, opened ("w+") at `path` on first use; null when it cannot be created
  // (which is not tried again).
  FILE* Open(const std::string& key, const std::string& path);
  FILE* Find(const std::string& key) const;
  bool Has(const std::string& key) const { return files_.count(key) != 0; }
  void CloseAll();

 private:
  std::map<std::string, FILE*> files_;
};

}  // namespace qelta::fleet
