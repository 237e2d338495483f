// The simulated registry (typed values in insertion order, subkeys sorted without regard
// to case, handles, the Win32 error codes) and the service manager.
#include <algorithm>
#include <cstring>

#include "platform/sim/sim_internal.h"

namespace {

constexpr int kErrKeyDeleted = 1018;
constexpr int kErrCallNotImplemented = 120;

// Access a user without administrator rights gets from the service manager: connect,
// enumerate, query the lock status, read the security descriptor.
constexpr uint32_t kUserManagerAccess = kScManagerConnect | 0x4 | 0x10 | kGenericRead | 0x20000;
constexpr uint32_t kServiceAllAccess = 0xF01FF;

// The registry holds its names in Unicode: a backslash byte inside a double-byte character
// (the second byte of 表) separates nothing.
std::vector<std::string> SplitKeyPath(SimMachine& m, const char* path) {
  std::vector<std::string> parts;
  if (path == nullptr) return parts;
  std::string text = path;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = SimFindOf(m, text, "\\", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

void MarkDeleted(SimRegKey* key) {
  key->deleted = true;
  for (auto& child : key->subkeys) MarkDeleted(child.second.get());
}

SimRegValue* FindValue(SimMachine& m, SimRegKey* key, const char* name) {
  std::string wanted = SimUpper(m, name != nullptr ? name : "");
  for (SimRegValue& value : key->values)
    if (value.name.size() == wanted.size() && SimUpper(m, value.name) == wanted) return &value;
  return nullptr;
}

}  // namespace

static SimRegKey* KeyOf(SimMachine::Impl& impl, RegHandle handle) {
  auto root = impl.rootKeys.find(static_cast<uint32_t>(handle));
  if (handle >= 0x80000000u && handle <= 0x80000006u && root != impl.rootKeys.end())
    return root->second;
  auto it = impl.regHandles.find(handle);
  return it != impl.regHandles.end() ? it->second : nullptr;
}

static SimRegKey* Walk(SimMachine& m, SimRegKey* key, const std::vector<std::string>& parts,
                       bool create) {
  for (const std::string& part : parts) {
    auto it = key->subkeys.find(SimUpper(m, part));
    if (it == key->subkeys.end()) {
      if (!create) return nullptr;
      auto child = std::make_unique<SimRegKey>();
      child->name = part;
      child->parent = key;
      SimRegKey* raw = child.get();
      key->subkeys[SimUpper(m, part)] = std::move(child);
      key = raw;
    } else {
      key = it->second.get();
    }
  }
  return key;
}

// "HKLM\\Software\\X" -> root key and the parts below it.
static SimRegKey* KeyAtPath(SimMachine& m, SimMachine::Impl& impl, const std::string& path,
                            bool create) {
  std::vector<std::string> parts = SplitKeyPath(m, path.c_str());
  if (parts.empty()) return nullptr;
  static const struct {
    const char* shortName;
    const char* longName;
    int number;
  } kRoots[] = {{"HKCR", "HKEY_CLASSES_ROOT", 0},  {"HKCU", "HKEY_CURRENT_USER", 1},
                {"HKLM", "HKEY_LOCAL_MACHINE", 2}, {"HKU", "HKEY_USERS", 3},
                {"HKCC", "HKEY_CURRENT_CONFIG", 4}};
  SimRegKey* root = nullptr;
  for (const auto& entry : kRoots)
    if (SimEqualNoCase(parts[0], entry.shortName) || SimEqualNoCase(parts[0], entry.longName))
      root = KeyOf(impl, RegistryRoot(entry.number));
  if (root == nullptr) return nullptr;
  parts.erase(parts.begin());
  return Walk(m, root, parts, create);
}

void SimRegistryInit(SimMachine& m, SimMachine::Impl& impl) {
  impl.regRoots.clear();
  impl.rootKeys.clear();
  const char* names[] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                         "HKEY_CURRENT_CONFIG"};
  const uint32_t handles[] = {0x80000001u, 0x80000002u, 0x80000003u, 0x80000005u};
  for (int i = 0; i < 4; ++i) {
    auto root = std::make_unique<SimRegKey>();
    root->name = names[i];
    impl.rootKeys[handles[i]] = root.get();
    impl.regRoots.push_back(std::move(root));
  }
  // HKEY_CLASSES_ROOT is a view of the machine's class registrations.
  impl.rootKeys[0x80000000u] = Walk(m, impl.rootKeys[0x80000002u], {"SOFTWARE", "Classes"}, true);
}

#define FAIL(code)             \
  do {                         \
    impl_->lastError = (code); \
    return (code);             \
  } while (0)

int SimMachine::RegOpen(RegHandle parent, const char* path, uint32_t access, RegHandle* key) {
  *key = 0;
  SimRegKey* base = KeyOf(*impl_, parent);
  if (base == nullptr) FAIL(kErrInvalidHandle);
  if (base->deleted) FAIL(kErrKeyDeleted);
  SimRegKey* found = Walk(*this, base, SplitKeyPath(*this, path), false);
  if (found == nullptr) FAIL(kErrFileNotFound);
  *key = static_cast<RegHandle>(impl_->nextHandle);
  impl_->nextHandle += 4;
  impl_->regHandles[*key] = found;
  return 0;
}

int SimMachine::RegCreate(RegHandle parent, const char* path, uint32_t access, RegHandle* key) {
  *key = 0;
  SimRegKey* base = KeyOf(*impl_, parent);
  if (base == nullptr) FAIL(kErrInvalidHandle);
  if (base->deleted) FAIL(kErrKeyDeleted);
  SimRegKey* found = Walk(*this, base, SplitKeyPath(*this, path), true);
  *key = static_cast<RegHandle>(impl_->nextHandle);
  impl_->nextHandle += 4;
  impl_->regHandles[*key] = found;
  return 0;
}

int SimMachine::RegQuery(RegHandle key, const char* name, uint32_t* type, void* data,
                         uint32_t* size) {
  SimRegKey* at = KeyOf(*impl_, key);
  if (at == nullptr) FAIL(kErrInvalidHandle);
  if (at->deleted) FAIL(kErrKeyDeleted);
  SimRegValue* value = FindValue(*this, at, name);
  if (value == nullptr) FAIL(kErrFileNotFound);
  if (type != nullptr) *type = value->type;
  uint32_t length = static_cast<uint32_t>(value->data.size());
  if (data != nullptr) {
    if (size == nullptr) FAIL(kErrInvalidParameter);
    if (*size < length) {
      *size = length;
      FAIL(kErrMoreData);
    }
    memcpy(data, value->data.data(), length);
  }
  if (size != nullptr) *size = length;
  return 0;
}

int SimMachine::RegSet(RegHandle key, const char* name, uint32_t type, const void* data,
                       uint32_t size) {
  SimRegKey* at = KeyOf(*impl_, key);
  if (at == nullptr) FAIL(kErrInvalidHandle);
  if (at->deleted) FAIL(kErrKeyDeleted);
  std::string bytes(static_cast<const char*>(data), data != nullptr ? size : 0);
  SimRegValue* value = FindValue(*this, at, name);
  if (value == nullptr) {
    at->values.push_back(SimRegValue{name != nullptr ? name : "", type, bytes});
  } else {
    value->type = type;
    value->data = bytes;
  }
  return 0;
}

int SimMachine::RegRemoveValue(RegHandle key, const char* name) {
  SimRegKey* at = KeyOf(*impl_, key);
  if (at == nullptr) FAIL(kErrInvalidHandle);
  if (at->deleted) FAIL(kErrKeyDeleted);
  SimRegValue* value = FindValue(*this, at, name);
  if (value == nullptr) FAIL(kErrFileNotFound);
  at->values.erase(at->values.begin() + (value - at->values.data()));
  return 0;
}

int SimMachine::RegEnumValueAt(RegHandle key, uint32_t index, char* name, uint32_t* nameSize,
                               uint32_t* type) {
  SimRegKey* at = KeyOf(*impl_, key);
  if (at == nullptr) FAIL(kErrInvalidHandle);
  if (at->deleted) FAIL(kErrKeyDeleted);
  if (index >= at->values.size()) FAIL(kErrNoMoreItems);
  const SimRegValue& value = at->values[index];
  if (value.name.size() + 1 > *nameSize) FAIL(kErrMoreData);
  memcpy(name, value.name.c_str(), value.name.size() + 1);
  *nameSize = static_cast<uint32_t>(value.name.size());
  if (type != nullptr) *type = value.type;
  return 0;
}

int SimMachine::RegEnumKeyAt(RegHandle key, uint32_t index, char* name, uint32_t* nameSize) {
  SimRegKey* at = KeyOf(*impl_, key);
  if (at == nullptr) FAIL(kErrInvalidHandle);
  if (at->deleted) FAIL(kErrKeyDeleted);
  if (index >= at->subkeys.size()) FAIL(kErrNoMoreItems);
  auto it = at->subkeys.begin();
  std::advance(it, index);
  const std::string& subkey = it->second->name;
  if (subkey.size() + 1 > *nameSize) FAIL(kErrMoreData);
  memcpy(name, subkey.c_str(), subkey.size() + 1);
  *nameSize = static_cast<uint32_t>(subkey.size());
  return 0;
}

static void DropKey(SimMachine::Impl& impl, SimRegKey* key) {
  SimRegKey* parent = key->parent;
  // Found by the node itself: the fold of its name depends on the code page, which a test
  // may have changed since the key was made.
  auto it = parent->subkeys.begin();
  while (it->second.get() != key) ++it;
  MarkDeleted(key);
  impl.deletedKeys.push_back(std::move(it->second));
  parent->subkeys.erase(it);
}

int SimMachine::RegRemoveKey(RegHandle parent, const char* path) {
  SimRegKey* base = KeyOf(*impl_, parent);
  if (base == nullptr) FAIL(kErrInvalidHandle);
  if (base->deleted) FAIL(kErrKeyDeleted);
  SimRegKey* found = Walk(*this, base, SplitKeyPath(*this, path), false);
  if (found == nullptr) FAIL(kErrFileNotFound);
  if (found->parent == nullptr) FAIL(kErrAccessDenied);
  for (const auto& root : impl_->rootKeys)
    if (root.second == found) FAIL(kErrAccessDenied);
  // The NT family deletes only a leaf key; the 95 family takes the whole tree.
  if (!found->subkeys.empty() && settings.ntFamily) FAIL(kErrAccessDenied);
  DropKey(*impl_, found);
  return 0;
}

void SimMachine::RegClose(RegHandle key) { impl_->regHandles.erase(key); }

size_t SimMachine::OpenRegistryHandles() const { return impl_->regHandles.size(); }

// --- Test-facing registry helpers ----------------------------------------------------------

bool SimMachine::RegValue(const std::string& keyPath, const std::string& name, uint32_t* type,
                          std::string* data) {
  SimRegKey* key = KeyAtPath(*this, *impl_, keyPath, false);
  if (key == nullptr) return false;
  SimRegValue* value = FindValue(*this, key, name.c_str());
  if (value == nullptr) return false;
  if (type != nullptr) *type = value->type;
  if (data != nullptr) *data = value->data;
  return true;
}

std::string SimMachine::RegString(const std::string& keyPath, const std::string& name) {
  std::string data;
  if (!RegValue(keyPath, name, nullptr, &data)) return std::string();
  size_t end = data.find('\0');
  return end == std::string::npos ? data : data.substr(0, end);
}

std::vector<std::string> SimMachine::RegMultiString(const std::string& keyPath,
                                                    const std::string& name) {
  std::string data;
  if (!RegValue(keyPath, name, nullptr, &data)) return {};
  std::vector<std::string> texts = RegStringsOf(data);
  // An empty string ends the list.
  for (size_t i = 0; i < texts.size(); ++i) {
    if (texts[i].empty()) {
      texts.resize(i);
      break;
    }
  }
  return texts;
}

bool SimMachine::RegKeyExists(const std::string& keyPath) {
  return KeyAtPath(*this, *impl_, keyPath, false) != nullptr;
}

int SimMachine::RegSetRaw(const std::string& keyPath, const std::string& name, uint32_t type,
                          const std::string& data) {
  SimRegKey* key = KeyAtPath(*this, *impl_, keyPath, true);
  if (key == nullptr) return kErrFileNotFound;
  SimRegValue* value = FindValue(*this, key, name.c_str());
  if (value == nullptr) key->values.push_back(SimRegValue{name, type, data});
  else {
    value->type = type;
    value->data = data;
  }
  return 0;
}

int SimMachine::RegRemoveRaw(const std::string& keyPath, const std::string& name) {
  SimRegKey* key = KeyAtPath(*this, *impl_, keyPath, false);
  if (key == nullptr) return kErrFileNotFound;
  SimRegValue* value = FindValue(*this, key, name.c_str());
  if (value == nullptr) return kErrFileNotFound;
  key->values.erase(key->values.begin() + (value - key->values.data()));
  return 0;
}

int SimMachine::RegRemoveTree(const std::string& keyPath) {
  SimRegKey* key = KeyAtPath(*this, *impl_, keyPath, false);
  if (key == nullptr) return kErrFileNotFound;
  if (key->parent == nullptr) return kErrAccessDenied;
  DropKey(*impl_, key);
  return 0;
}

// --- Services ------------------------------------------------------------------------------

static void DropServiceIfGone(SimMachine& m, const std::string& key) {
  auto it = m.services.find(key);
  if (it != m.services.end() && it->second.markedForDelete && !it->second.running &&
      it->second.openHandles <= 0)
    m.services.erase(it);
}

ServiceHandle SimMachine::ScmOpen(uint32_t access) {
  if (!settings.ntFamily) {
    impl_->lastError = kErrCallNotImplemented;
    return 0;
  }
  if (!settings.admin && (access & ~kUserManagerAccess) != 0) {
    impl_->lastError = kErrAccessDenied;
    return 0;
  }
  ServiceHandle handle = static_cast<ServiceHandle>(impl_->nextHandle);
  impl_->nextHandle += 4;
  impl_->serviceHandles[handle] = SimServiceHandle{true, access, {}};
  return handle;
}

ServiceHandle SimMachine::ServiceOpen(ServiceHandle manager, const char* name, uint32_t access) {
  auto it = impl_->serviceHandles.find(manager);
  if (it == impl_->serviceHandles.end() || !it->second.manager) {
    impl_->lastError = kErrInvalidHandle;
    return 0;
  }
  std::string key = SimUpper(name != nullptr ? name : "");
  auto service = services.find(key);
  if (service == services.end()) {
    impl_->lastError = kErrServiceDoesNotExist;
    return 0;
  }
  if (!settings.admin && (access & (kServiceStop | kServiceDelete | kGenericWrite |
                                    kGenericExecute | 0x2 /* change config */)) != 0) {
    impl_->lastError = kErrAccessDenied;
    return 0;
  }
  ServiceHandle handle = static_cast<ServiceHandle>(impl_->nextHandle);
  impl_->nextHandle += 4;
  impl_->serviceHandles[handle] = SimServiceHandle{false, access, key};
  service->second.openHandles++;
  return handle;
}

ServiceHandle SimMachine::ServiceCreate(ServiceHandle manager, const char* name,
                                        const char* binaryPath) {
  auto it = impl_->serviceHandles.find(manager);
  if (it == impl_->serviceHandles.end() || !it->second.manager) {
    impl_->lastError = kErrInvalidHandle;
    return 0;
  }
  if ((it->second.access & (kScManagerCreateService | kGenericWrite)) == 0) {
    impl_->lastError = kErrAccessDenied;
    return 0;
  }
  std::string key = SimUpper(name != nullptr ? name : "");
  auto existing = services.find(key);
  if (existing != services.end()) {
    impl_->lastError = existing->second.markedForDelete ? kErrServiceMarkedForDelete
                                                        : kErrServiceExists;
    return 0;
  }
  SimService service;
  service.name = name;
  service.binaryPath = binaryPath != nullptr ? binaryPath : "";
  service.openHandles = 1;
  services[key] = service;
  ServiceHandle handle = static_cast<ServiceHandle>(impl_->nextHandle);
  impl_->nextHandle += 4;
  impl_->serviceHandles[handle] = SimServiceHandle{false, kServiceAllAccess, key};
  return handle;
}

int SimMachine::ServiceStop(ServiceHandle service) {
  auto it = impl_->serviceHandles.find(service);
  if (it == impl_->serviceHandles.end() || it->second.manager) FAIL(kErrInvalidHandle);
  if ((it->second.access & (kServiceStop | kGenericExecute | 0xF0000)) == 0)
    FAIL(kErrAccessDenied);
  auto found = services.find(it->second.key);
  if (found == services.end()) FAIL(kErrInvalidHandle);
  if (!found->second.running) FAIL(kErrServiceNotActive);
  found->second.running = false;
  return 0;
}

int SimMachine::ServiceDelete(ServiceHandle service) {
  auto it = impl_->serviceHandles.find(service);
  if (it == impl_->serviceHandles.end() || it->second.manager) FAIL(kErrInvalidHandle);
  if ((it->second.access & (kServiceDelete | 0xF0000)) == 0) FAIL(kErrAccessDenied);
  auto found = services.find(it->second.key);
  if (found == services.end()) FAIL(kErrInvalidHandle);
  if (found->second.markedForDelete) FAIL(kErrServiceMarkedForDelete);
  // The service goes once it is stopped and the last handle to it is closed.
  found->second.markedForDelete = true;
  return 0;
}

void SimMachine::ServiceClose(ServiceHandle handle) {
  auto it = impl_->serviceHandles.find(handle);
  if (it == impl_->serviceHandles.end()) return;
  if (!it->second.manager) {
    auto found = services.find(it->second.key);
    if (found != services.end()) found->second.openHandles--;
    std::string key = it->second.key;
    impl_->serviceHandles.erase(it);
    DropServiceIfGone(*this, key);
    return;
  }
  impl_->serviceHandles.erase(it);
}
