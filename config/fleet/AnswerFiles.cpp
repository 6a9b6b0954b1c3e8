#include "fleet/AnswerFiles.h"

namespace qelta::fleet {

std::string SuffixedFileName(const std::string& name, const std::string& suffix) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "_" + suffix;
  return name.substr(0, dot) + "_" + suffix + name.substr(dot);
}

FILE* AnswerFiles::Open(const std::string& key, const std::string& path) {
  auto it = files_.find(key);
  if (it != files_.end()) return it->second;
  FILE* file = std::fopen(path.c_str(), "w+");
  // A file that cannot be created is not retried for every answer.
  files_[key] = file;
  return file;
}

FILE* AnswerFiles::Find(const std::string& key) const {
  auto it = files_.find(key);
  return it == files_.end() ? nullptr : it->second;
}

void AnswerFiles::CloseAll() {
  for (auto& [key, file] : files_) {
    if (file) std::fclose(file);
  }
  files_.clear();
}

}  // namespace qelta::fleet
