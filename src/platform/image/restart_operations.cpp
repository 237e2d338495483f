// PendingRenamesOf and WininitRenamesOf (restart_operations.h).
#include "platform/image/restart_operations.h"

#include "platform/image/machine_image.h"

namespace {

bool SameAscii(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string WithoutNtPrefix(std::string path) {
  if (path.compare(0, 4, "\\??\\") == 0) path.erase(0, 4);
  return path;
}

}  // namespace

std::vector<RestartOperation> PendingRenamesOf(const std::string& data) {
  std::vector<RestartOperation> operations;
  std::vector<std::string> strings = RegStringsOf(data);
  for (size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2) {
    std::string target = strings[i + 1];
    bool replace = !target.empty() && target[0] == '!';
    if (replace) target.erase(0, 1);
    operations.push_back({WithoutNtPrefix(strings[i]), WithoutNtPrefix(target), replace});
  }
  return operations;
}

std::vector<RestartOperation> WininitRenamesOf(const std::string& text) {
  std::vector<RestartOperation> operations;
  bool inRename = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trimmed(text.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      inRename = close != std::string::npos && SameAscii(line.substr(1, close - 1), "rename");
      continue;
    }
    size_t equals = line.find('=');
    if (!inRename || equals == std::string::npos) continue;
    std::string key = Trimmed(line.substr(0, equals));
    std::string value = Trimmed(line.substr(equals + 1));
    if (SameAscii(key, "NUL")) {
      operations.push_back({value, std::string(), false});
    } else if (!value.empty()) {
      operations.push_back({value, key, true});
    }
  }
  return operations;
}
