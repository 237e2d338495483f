// SeedMachine: the image applied in the order a machine is built: directories, files,
// registry, services, then the stub files of programs and libraries. Each change is
// made on its own; a failure is noted and the rest goes on, so one bad entry shows up
// in the report instead of hiding everything after it.
#include "seed_machine.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

std::string ErrorText(const char* what, const std::string& subject, DWORD code) {
  char line[64];
  snprintf(line, sizeof line, " (error %lu)", static_cast<unsigned long>(code));
  return std::string(what) + " " + subject + line;
}

// Every directory above path, from the root down, then path itself.
DWORD MakeDirectories(const std::string& path) {
  for (size_t at = path.find('\\', 3); ; at = path.find('\\', at + 1)) {
    std::string part = at == std::string::npos ? path : path.substr(0, at);
    if (!part.empty() && !CreateDirectoryA(part.c_str(), nullptr)) {
      DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS) return error;
    }
    if (at == std::string::npos) return 0;
  }
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The time a file gets when its record names none: the image's default, else its "now",
// else the fixed moment the simulated machine uses.
uint64_t DefaultFileTime(const ImagePlatform& platform) {
  if (platform.defaultFileTime != 0) return platform.defaultFileTime;
  if (platform.now != 0) return platform.now;
  return FileTimeFromUtc(2001, 6, 15, 12, 0, 0);
}

DWORD WriteFileWithTime(const std::string& path, const std::string& contents, uint64_t time) {
  if (DWORD error = MakeDirectories(ParentOf(path))) return error;
  // A read-only file from an earlier seeding would refuse to be replaced.
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD error = 0;
  DWORD written = 0;
  if (!contents.empty() &&
      (!WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written,
                  nullptr) ||
       written != contents.size())) {
    error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
  }
  FILETIME lastWrite;
  lastWrite.dwLowDateTime = static_cast<DWORD>(time);
  lastWrite.dwHighDateTime = static_cast<DWORD>(time >> 32);
  if (error == 0 && !SetFileTime(file, nullptr, nullptr, &lastWrite)) error = GetLastError();
  CloseHandle(file);
  return error;
}

// "HKLM\Software\X" (or with the root's full name): the root and the path below it.
bool SplitKeyPath(const std::string& keyPath, HKEY* root, std::string* subPath) {
  struct Root {
    const char* shortName;
    const char* longName;
    HKEY key;
  } const roots[] = {
      {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {"HKU", "HKEY_USERS", HKEY_USERS},
      {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
  };
  size_t slash = keyPath.find('\\');
  std::string first = keyPath.substr(0, slash);
  for (const Root& candidate : roots) {
    if (lstrcmpiA(first.c_str(), candidate.shortName) == 0 ||
        lstrcmpiA(first.c_str(), candidate.longName) == 0) {
      *root = candidate.key;
      *subPath = slash == std::string::npos ? std::string() : keyPath.substr(slash + 1);
      return true;
    }
  }
  return false;
}

void SeedDirectories(const MachineImage& image, SeedReport* report) {
  for (const ImageDirectory& directory : image.directories) {
    if (!directory.junctionTarget.empty()) {
      report->skipped.push_back("junction " + directory.path + " -> " +
                                directory.junctionTarget + ": junctions are not made");
      continue;
    }
    if (DWORD error = MakeDirectories(directory.path)) {
      report->failed.push_back(ErrorText("directory", directory.path, error));
      continue;
    }
    if (directory.attributes != FILE_ATTRIBUTE_DIRECTORY &&
        !SetFileAttributesA(directory.path.c_str(), directory.attributes)) {
      report->failed.push_back(ErrorText("attributes of", directory.path, GetLastError()));
      continue;
    }
    report->done.push_back("directory " + directory.path);
    if (!directory.shortName.empty()) {
      report->skipped.push_back("short name " + directory.shortName + " of " + directory.path +
                                ": the file system chooses short names");
    }
  }
}

void SeedFiles(const MachineImage& image, SeedReport* report) {
  for (const ImageFile& file : image.files) {
    uint64_t time = file.lastWrite != 0 ? file.lastWrite : DefaultFileTime(image.platform);
    if (DWORD error = WriteFileWithTime(file.path, file.contents, time)) {
      report->failed.push_back(ErrorText("file", file.path, error));
      continue;
    }
    // Attributes last: a read-only file could not have been written.
    DWORD attributes = file.attributes == 0 ? FILE_ATTRIBUTE_NORMAL : file.attributes;
    if (!SetFileAttributesA(file.path.c_str(), attributes)) {
      report->failed.push_back(ErrorText("attributes of", file.path, GetLastError()));
      continue;
    }
    char line[64];
    snprintf(line, sizeof line, " (%zu bytes, attributes 0x%lX)", file.contents.size(),
             static_cast<unsigned long>(attributes));
    report->done.push_back("file " + file.path + line);
    if (!file.shortName.empty()) {
      report->skipped.push_back("short name " + file.shortName + " of " + file.path +
                                ": the file system chooses short names");
    }
  }
}

void SeedRegistry(const MachineImage& image, SeedReport* report) {
  for (const ImageRegKey& key : image.registry) {
    HKEY root = nullptr;
    std::string subPath;
    if (!SplitKeyPath(key.path, &root, &subPath)) {
      report->failed.push_back("key " + key.path + " (unknown root)");
      continue;
    }
    HKEY opened = nullptr;
    LONG result = RegCreateKeyExA(root, subPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &opened, nullptr);
    if (result != ERROR_SUCCESS) {
      report->failed.push_back(ErrorText("key", key.path, static_cast<DWORD>(result)));
      continue;
    }
    report->done.push_back("key " + key.path);
    for (const ImageRegValue& value : key.values) {
      std::string where = key.path + " [" + value.name + "]";
      result = RegSetValueExA(opened, value.name.empty() ? nullptr : value.name.c_str(), 0,
                              value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                              static_cast<DWORD>(value.data.size()));
      if (result != ERROR_SUCCESS) {
        report->failed.push_back(ErrorText("value", where, static_cast<DWORD>(result)));
      } else {
        char line[48];
        snprintf(line, sizeof line, " (type %lu, %zu bytes)",
                 static_cast<unsigned long>(value.type), value.data.size());
        report->done.push_back("value " + where + line);
      }
    }
    RegCloseKey(opened);
  }
}

void SeedServices(const MachineImage& image, SeedReport* report) {
  if (image.services.empty()) return;
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    report->failed.push_back(ErrorText("service manager", "", GetLastError()));
    return;
  }
  for (const ImageService& service : image.services) {
    SC_HANDLE created = CreateServiceA(manager, service.name.c_str(), service.name.c_str(),
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       service.binaryPath.c_str(), nullptr, nullptr, nullptr,
                                       nullptr, nullptr);
    std::string how = "service ";
    if (created == nullptr && GetLastError() == ERROR_SERVICE_EXISTS) {
      // Seeding the same image twice must give the same machine: the existing service
      // takes the image's binary path.
      created = OpenServiceA(manager, service.name.c_str(), SERVICE_CHANGE_CONFIG);
      if (created != nullptr &&
          !ChangeServiceConfigA(created, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                service.binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr)) {
        CloseServiceHandle(created);
        created = nullptr;
      }
      how = "existing service ";
    }
    if (created == nullptr) {
      report->failed.push_back(ErrorText("service", service.name, GetLastError()));
      continue;
    }
    CloseServiceHandle(created);
    report->done.push_back(how + service.name + " (" + service.binaryPath + ")");
    if (service.running) {
      report->skipped.push_back("service " + service.name +
                                " running: its program is not a real service, so it stays stopped");
    }
  }
  CloseServiceHandle(manager);
}

// Programs and libraries exist as files so that existence checks find them; what the
// image scripts them to do needs the simulated machine or a real program.
void SeedStubs(const MachineImage& image, SeedReport* report) {
  uint64_t time = DefaultFileTime(image.platform);
  for (const ImageProgram& program : image.programs) {
    if (program.createFile) {
      if (DWORD error = WriteFileWithTime(program.path, "MZ", time)) {
        report->failed.push_back(ErrorText("program stub", program.path, error));
      } else {
        report->done.push_back("program stub " + program.path);
      }
    }
    if (!program.rules.empty() || !program.extractable.empty()) {
      report->skipped.push_back("program " + program.path +
                                ": its scripted behaviour runs only on the simulated machine");
    }
  }
  for (const ImageLibrary& library : image.libraries) {
    bool fullPath = library.path.find('\\') != std::string::npos;
    if (fullPath) {
      if (DWORD error = WriteFileWithTime(library.path, "MZ", time)) {
        report->failed.push_back(ErrorText("library stub", library.path, error));
        continue;
      }
      report->done.push_back("library stub " + library.path);
    }
    report->skipped.push_back("library " + library.path +
                              ": its entry points exist only on the simulated machine");
  }
}

}  // namespace

int SeedMachine(const MachineImage& image, SeedReport* report) {
  SeedDirectories(image, report);
  SeedFiles(image, report);
  SeedRegistry(image, report);
  SeedServices(image, report);
  SeedStubs(image, report);
  if (!image.groups.empty()) {
    report->skipped.push_back(
        "Program Manager groups: served by the Program Manager stand-in, not seeded here");
  }
  report->skipped.push_back(
      "platform settings (version, code pages, directories, drives, clock): the real "
      "machine keeps its own");
  return static_cast<int>(report->failed.size());
}

std::vector<std::string> FilesInUse(const MachineImage& image) {
  std::vector<std::string> paths;
  for (const ImageFile& file : image.files) {
    if (file.inUse) paths.push_back(file.path);
  }
  return paths;
}
