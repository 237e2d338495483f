// Reading a machine image from JSON (format in docs/machine-image.md). The reader checks
// each member's type and reports the first member it cannot use, naming its place, so a
// mistyped scenario fails loudly instead of seeding a machine nobody meant.
#include "platform/image/machine_image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

namespace {

// Object members keep their order: registry values enumerate in insertion order.
using Json = nlohmann::ordered_json;

struct Reader {
  std::string error;

  bool Fail(const std::string& where, const std::string& what) {
    if (error.empty()) error = where + ": " + what;
    return false;
  }

  bool String(const Json& value, const std::string& where, std::string* out) {
    if (!value.is_string()) return Fail(where, "expected a string");
    *out = value.get<std::string>();
    return true;
  }

  bool Bool(const Json& value, const std::string& where, bool* out) {
    if (!value.is_boolean()) return Fail(where, "expected true or false");
    *out = value.get<bool>();
    return true;
  }

  bool Unsigned(const Json& value, const std::string& where, uint64_t* out) {
    if (!value.is_number_integer() || (value.is_number_integer() && value.get<int64_t>() < 0 &&
                                       !value.is_number_unsigned()))
      return Fail(where, "expected a non-negative integer");
    *out = value.get<uint64_t>();
    return true;
  }

  bool Signed(const Json& value, const std::string& where, int64_t* out) {
    if (!value.is_number_integer()) return Fail(where, "expected an integer");
    *out = value.get<int64_t>();
    return true;
  }

  bool Hex(const std::string& text, const std::string& where, std::string* out) {
    out->clear();
    int high = -1;
    for (char c : text) {
      int digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else if (c == ' ' || c == ',' || c == ':' || c == '\n') continue;
      else return Fail(where, "not a hexadecimal digit");
      if (high < 0) {
        high = digit;
      } else {
        out->push_back(static_cast<char>(high * 16 + digit));
        high = -1;
      }
    }
    if (high >= 0) return Fail(where, "odd number of hexadecimal digits");
    return true;
  }

  bool Base64(const std::string& text, const std::string& where, std::string* out) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    out->clear();
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
      if (c == '=' || c == '\n' || c == '\r' || c == ' ') continue;
      const char* at = strchr(kAlphabet, c);
      if (at == nullptr || c == '\0') return Fail(where, "not a base64 character");
      bits = (bits << 6) | static_cast<uint32_t>(at - kAlphabet);
      count += 6;
      if (count >= 8) {
        count -= 8;
        out->push_back(static_cast<char>((bits >> count) & 0xFF));
      }
    }
    return true;
  }

  // "text", "hex" or "base64": the bytes of a file or of a created file.
  bool Contents(const Json& object, const std::string& where, std::string* out) {
    int given = 0;
    if (object.contains("text")) {
      ++given;
      if (!String(object["text"], where + ".text", out)) return false;
    }
    if (object.contains("hex")) {
      ++given;
      std::string text;
      if (!String(object["hex"], where + ".hex", &text) || !Hex(text, where + ".hex", out))
        return false;
    }
    if (object.contains("base64")) {
      ++given;
      std::string text;
      if (!String(object["base64"], where + ".base64", &text) ||
          !Base64(text, where + ".base64", out))
        return false;
    }
    if (given > 1) return Fail(where, "give only one of text, hex and base64");
    return true;
  }

  // A time: "YYYY-MM-DD HH:MM:SS" in UTC, or a FILETIME number.
  bool Time(const Json& value, const std::string& where, uint64_t* out) {
    if (value.is_number_integer()) return Unsigned(value, where, out);
    std::string text;
    if (!String(value, where, &text)) return false;
    int year, month, day, hour = 0, minute = 0, second = 0;
    int fields = sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour,
                        &minute, &second);
    if ((fields != 3 && fields != 6) || year < 1601 || month < 1 || month > 12 || day < 1 ||
        day > 31 || hour > 23 || minute > 59 || second > 59)
      return Fail(where, "expected \"YYYY-MM-DD HH:MM:SS\" or a FILETIME number");
    *out = FileTimeFromUtc(year, month, day, hour, minute, second);
    return true;
  }

  bool Attributes(const Json& value, const std::string& where, uint32_t* out) {
    if (value.is_number_integer()) {
      uint64_t number;
      if (!Unsigned(value, where, &number)) return false;
      *out = static_cast<uint32_t>(number);
      return true;
    }
    if (!value.is_array()) return Fail(where, "expected a number or a list of names");
    static const struct {
      const char* name;
      uint32_t bit;
    } kNames[] = {{"readonly", 0x1}, {"hidden", 0x2}, {"system", 0x4},
                  {"archive", 0x20}, {"normal", 0x80}};
    *out = 0;
    for (const Json& item : value) {
      std::string name;
      if (!String(item, where, &name)) return false;
      bool known = false;
      for (const auto& entry : kNames) {
        if (strcasecmp(entry.name, name.c_str()) == 0) {
          *out |= entry.bit;
          known = true;
        }
      }
      if (!known) return Fail(where, "unknown attribute \"" + name + "\"");
    }
    return true;
  }

  // A registry value: a string (REG_SZ), a number (REG_DWORD) or an object with one of
  // "sz", "expand", "multi", "dword", "binary" (hex).
  bool Value(const Json& value, const std::string& where, ImageRegValue* out) {
    if (value.is_string()) {
      out->type = 1;
      out->data = RegStringBytes(value.get<std::string>());
      return true;
    }
    if (value.is_number_integer()) {
      uint64_t number;
      if (!Unsigned(value, where, &number)) return false;
      out->type = 4;
      out->data = RegDwordBytes(static_cast<uint32_t>(number));
      return true;
    }
    if (!value.is_object() || value.size() != 1)
      return Fail(where, "expected a string, a number or an object with one type member");
    const std::string kind = value.begin().key();
    const Json& data = value.begin().value();
    std::string text;
    if (kind == "sz" || kind == "expand") {
      if (!String(data, where + "." + kind, &text)) return false;
      out->type = kind == "sz" ? 1 : 2;
      out->data = RegStringBytes(text);
    } else if (kind == "multi") {
      if (!data.is_array()) return Fail(where + ".multi", "expected a list of strings");
      std::vector<std::string> texts;
      for (const Json& item : data) {
        if (!String(item, where + ".multi", &text)) return false;
        texts.push_back(text);
      }
      out->type = 7;
      out->data = RegMultiStringBytes(texts);
    } else if (kind == "dword") {
      uint64_t number;
      if (!Unsigned(data, where + ".dword", &number)) return false;
      out->type = 4;
      out->data = RegDwordBytes(static_cast<uint32_t>(number));
    } else if (kind == "binary") {
      if (!String(data, where + ".binary", &text) || !Hex(text, where + ".binary", &out->data))
        return false;
      out->type = 3;
    } else {
      return Fail(where, "unknown value type \"" + kind + "\"");
    }
    return true;
  }

  bool File(const Json& value, const std::string& where, ImageFile* out) {
    if (!value.is_object()) return Fail(where, "expected an object");
    if (!value.contains("path")) return Fail(where, "a file needs a path");
    if (!String(value["path"], where + ".path", &out->path)) return false;
    if (!Contents(value, where, &out->contents)) return false;
    if (value.contains("time") && !Time(value["time"], where + ".time", &out->lastWrite))
      return false;
    if (value.contains("attributes") &&
        !Attributes(value["attributes"], where + ".attributes", &out->attributes))
      return false;
    if (value.contains("shortName") &&
        !String(value["shortName"], where + ".shortName", &out->shortName))
      return false;
    if (value.contains("inUse") && !Bool(value["inUse"], where + ".inUse", &out->inUse))
      return false;
    return true;
  }

  bool Action(const Json& value, const std::string& where, ImageAction* out) {
    if (!value.is_object() || !value.contains("op"))
      return Fail(where, "an action is an object with an \"op\"");
    std::string op;
    if (!String(value["op"], where + ".op", &op)) return false;
    auto text = [&](const char* name, std::string* field) {
      if (!value.contains(name)) return Fail(where, std::string("needs \"") + name + "\"");
      return String(value[name], where + "." + name, field);
    };
    if (op == "setValue") {
      out->kind = ImageAction::kSetValue;
      if (!text("key", &out->key)) return false;
      if (value.contains("name") && !String(value["name"], where + ".name", &out->valueName))
        return false;
      if (!value.contains("value")) return Fail(where, "needs \"value\"");
      ImageRegValue regValue;
      if (!Value(value["value"], where + ".value", &regValue)) return false;
      out->valueType = regValue.type;
      out->data = regValue.data;
    } else if (op == "removeValue") {
      out->kind = ImageAction::kRemoveValue;
      if (!text("key", &out->key)) return false;
      if (value.contains("name") && !String(value["name"], where + ".name", &out->valueName))
        return false;
    } else if (op == "removeKey") {
      out->kind = ImageAction::kRemoveKey;
      if (!text("key", &out->key)) return false;
    } else if (op == "createFile") {
      out->kind = ImageAction::kCreateFile;
      if (!text("path", &out->path) || !Contents(value, where, &out->data)) return false;
    } else if (op == "deleteFile") {
      out->kind = ImageAction::kDeleteFile;
      if (!text("path", &out->path)) return false;
    } else if (op == "extractList") {
      out->kind = ImageAction::kExtractList;
    } else {
      return Fail(where + ".op", "unknown action \"" + op + "\"");
    }
    return true;
  }

  bool Actions(const Json& value, const std::string& where, std::vector<ImageAction>* out) {
    if (!value.is_array()) return Fail(where, "expected a list of actions");
    for (size_t i = 0; i < value.size(); ++i) {
      ImageAction action;
      if (!Action(value[i], where + "[" + std::to_string(i) + "]", &action)) return false;
      out->push_back(action);
    }
    return true;
  }

  bool Drives(const Json& value, const std::string& where, std::vector<ImageDrive>* out) {
    if (!value.is_object()) return Fail(where, "expected an object of letter: type");
    static const char* kTypes[] = {"unknown", "noroot", "removable", "fixed",
                                   "remote",  "cdrom",  "ramdisk"};
    for (const auto& member : value.items()) {
      const std::string& letter = member.key();
      if (letter.empty() || !isalpha(static_cast<unsigned char>(letter[0])) ||
          (letter.size() > 1 && letter.substr(1) != ":"))
        return Fail(where, "\"" + letter + "\" is not a drive letter");
      std::string type;
      if (!String(member.value(), where + "." + letter, &type)) return false;
      int number = -1;
      for (int i = 0; i < 7; ++i)
        if (strcasecmp(kTypes[i], type.c_str()) == 0) number = i;
      if (number < 0) return Fail(where + "." + letter, "unknown drive type \"" + type + "\"");
      ImageDrive drive;
      drive.letter = static_cast<char>(toupper(static_cast<unsigned char>(letter[0])));
      drive.type = number;
      out->push_back(drive);
    }
    return true;
  }

  bool Platform(const Json& value, ImagePlatform* out) {
    const std::string where = "platform";
    if (!value.is_object()) return Fail(where, "expected an object");
    for (const auto& member : value.items()) {
      const std::string& name = member.key();
      const Json& item = member.value();
      const std::string at = where + "." + name;
      uint64_t number = 0;
      int64_t signedNumber = 0;
      bool ok = true;
      if (name == "kind") {
        std::string kind;
        ok = String(item, at, &kind);
        if (ok && kind == "nt") out->ntFamily = true;
        else if (ok && kind == "95") out->ntFamily = false;
        else if (ok) ok = Fail(at, "expected \"nt\" or \"95\"");
      } else if (name == "version") {
        if (!item.is_array() || item.size() != 3) {
          ok = Fail(at, "expected [major, minor, build]");
        } else {
          uint64_t parts[3];
          for (int i = 0; i < 3 && ok; ++i) ok = Unsigned(item[i], at, &parts[i]);
          out->major = static_cast<uint32_t>(parts[0]);
          out->minor = static_cast<uint32_t>(parts[1]);
          out->build = static_cast<uint32_t>(parts[2]);
        }
      } else if (name == "ansiCodePage" || name == "oemCodePage") {
        ok = Unsigned(item, at, &number);
        if (ok && name == "ansiCodePage") {
          if (number != 1252 && number != 932 && number != 936 && number != 949 &&
              number != 950)
            ok = Fail(at, "supported: 1252, 932, 936, 949, 950");
          out->ansiCodePage = static_cast<uint32_t>(number);
        } else if (ok) {
          if (number != 437) ok = Fail(at, "supported: 437");
          out->oemCodePage = static_cast<uint32_t>(number);
        }
      } else if (name == "admin") {
        ok = Bool(item, at, &out->admin);
      } else if (name == "progman") {
        ok = Bool(item, at, &out->progmanPresent);
      } else if (name == "windowsDirectory") {
        ok = String(item, at, &out->windowsDirectory);
      } else if (name == "systemDirectory") {
        ok = String(item, at, &out->systemDirectory);
      } else if (name == "tempDirectory") {
        ok = String(item, at, &out->tempDirectory);
      } else if (name == "currentDirectory") {
        ok = String(item, at, &out->currentDirectory);
      } else if (name == "modulePath") {
        ok = String(item, at, &out->modulePath);
      } else if (name == "drives") {
        ok = Drives(item, at, &out->drives);
      } else if (name == "timeZoneMinutes") {
        ok = Signed(item, at, &signedNumber);
        out->timeZoneMinutes = static_cast<int32_t>(signedNumber);
      } else if (name == "daylightShiftMinutes") {
        ok = Signed(item, at, &signedNumber);
        out->daylightShiftMinutes = static_cast<int32_t>(signedNumber);
      } else if (name == "now") {
        ok = Time(item, at, &out->now);
      } else if (name == "fileTime") {
        ok = Time(item, at, &out->defaultFileTime);
      } else {
        ok = Fail(at, "unknown member");
      }
      if (!ok) return false;
    }
    return true;
  }

  bool Image(const Json& root, MachineImage* image) {
    if (!root.is_object()) return Fail("image", "expected an object");
    for (const auto& member : root.items()) {
      const std::string& name = member.key();
      const Json& value = member.value();
      if (name == "platform") {
        if (!Platform(value, &image->platform)) return false;
      } else if (name == "directories") {
        if (!value.is_array()) return Fail(name, "expected a list");
        for (size_t i = 0; i < value.size(); ++i) {
          const std::string at = name + "[" + std::to_string(i) + "]";
          ImageDirectory directory;
          const Json& item = value[i];
          if (item.is_string()) {
            directory.path = item.get<std::string>();
          } else if (item.is_object() && item.contains("path")) {
            if (!String(item["path"], at + ".path", &directory.path)) return false;
            if (item.contains("junction") &&
                !String(item["junction"], at + ".junction", &directory.junctionTarget))
              return false;
            if (item.contains("shortName") &&
                !String(item["shortName"], at + ".shortName", &directory.shortName))
              return false;
            if (item.contains("attributes")) {
              if (!Attributes(item["attributes"], at + ".attributes", &directory.attributes))
                return false;
              directory.attributes |= 0x10;
            }
          } else {
            return Fail(at, "expected a path or an object with a path");
          }
          image->directories.push_back(directory);
        }
      } else if (name == "files") {
        if (!value.is_array()) return Fail(name, "expected a list");
        for (size_t i = 0; i < value.size(); ++i) {
          ImageFile file;
          if (!File(value[i], name + "[" + std::to_string(i) + "]", &file)) return false;
          image->files.push_back(file);
        }
      } else if (name == "registry") {
        if (!value.is_object()) return Fail(name, "expected an object of key: values");
        for (const auto& key : value.items()) {
          const std::string at = name + "." + key.key();
          ImageRegKey regKey;
          regKey.path = key.key();
          if (!key.value().is_object()) return Fail(at, "expected an object of name: value");
          for (const auto& item : key.value().items()) {
            ImageRegValue regValue;
            regValue.name = item.key();
            if (!Value(item.value(), at + "." + item.key(), &regValue)) return false;
            regKey.values.push_back(regValue);
          }
          image->registry.push_back(regKey);
        }
      } else if (name == "services") {
        if (!value.is_array()) return Fail(name, "expected a list");
        for (size_t i = 0; i < value.size(); ++i) {
          const std::string at = name + "[" + std::to_string(i) + "]";
          const Json& item = value[i];
          ImageService service;
          if (!item.is_object() || !item.contains("name"))
            return Fail(at, "a service needs a name");
          if (!String(item["name"], at + ".name", &service.name)) return false;
          if (item.contains("binaryPath") &&
              !String(item["binaryPath"], at + ".binaryPath", &service.binaryPath))
            return false;
          if (item.contains("running") && !Bool(item["running"], at + ".running", &service.running))
            return false;
          image->services.push_back(service);
        }
      } else if (name == "groups") {
        if (!value.is_array()) return Fail(name, "expected a list");
        for (size_t i = 0; i < value.size(); ++i) {
          const std::string at = name + "[" + std::to_string(i) + "]";
          const Json& item = value[i];
          ImageGroup group;
          if (!item.is_object() || !item.contains("name")) return Fail(at, "a group needs a name");
          if (!String(item["name"], at + ".name", &group.name)) return false;
          if (item.contains("path") && !String(item["path"], at + ".path", &group.path))
            return false;
          if (item.contains("items")) {
            const Json& items = item["items"];
            if (!items.is_array()) return Fail(at + ".items", "expected a list");
            for (size_t j = 0; j < items.size(); ++j) {
              const std::string itemAt = at + ".items[" + std::to_string(j) + "]";
              ImageGroupItem groupItem;
              if (!items[j].is_object() || !items[j].contains("title") ||
                  !items[j].contains("command"))
                return Fail(itemAt, "an item needs a title and a command");
              if (!String(items[j]["title"], itemAt + ".title", &groupItem.title) ||
                  !String(items[j]["command"], itemAt + ".command", &groupItem.command))
                return false;
              group.items.push_back(groupItem);
            }
          }
          image->groups.push_back(group);
        }
      } else if (name == "libraries") {
        if (!value.is_array()) return Fail(name, "expected a list");
        for (size_t i = 0; i < value.size(); ++i) {
          const std::string at = name + "[" + std::to_string(i) + "]";
          const Json& item = value[i];
          ImageLibrary library;
          if (!item.is_object() || !item.contains("path"))
            return Fail(at, "a library needs a path");
          if (!String(item["path"], at + ".path", &library.path)) return false;
          if (item.contains("exports")) {
            if (!item["exports"].is_array()) return Fail(at + ".exports", "expected a list");
            for (const Json& entry : item["exports"]) {
              std::string exportName;
              if (!String(entry, at + ".exports", &exportName)) return false;
              library.exports.push_back(exportName);
            }
          }
          if (item.contains("register") &&
              !Actions(item["register"], at + ".register", &library.onRegister))
            return false;
          if (item.contains("unregister") &&
              !Actions(item["unregister"], at + ".unregister", &library.onUnregister))
            return false;
          int64_t number;
          if (item.contains("registerResult")) {
            if (!Signed(item["registerResult"], at + ".registerResult", &number)) return false;
            library.registerResult = static_cast<int32_t>(number);
          }
          if (item.contains("restorePointResult")) {
            if (!Signed(item["restorePointResult"], at + ".restorePointResult", &number))
              return false;
            library.restorePointResult = static_cast<int32_t>(number);
          }
          if (item.contains("restorePointSequence")) {
            if (!Signed(item["restorePointSequence"], at + ".restorePointSequence", &number))
              return false;
            library.restorePointSequence = number;
          }
          if (item.contains("statusMifResult")) {
            if (!Signed(item["statusMifResult"], at + ".statusMifResult", &number)) return false;
            library.statusMifResult = static_cast<int32_t>(number);
          }
          image->libraries.push_back(library);
        }
      } else if (name == "programs") {
        if (!value.is_array()) return Fail(name, "expected a list");
        for (size_t i = 0; i < value.size(); ++i) {
          const std::string at = name + "[" + std::to_string(i) + "]";
          const Json& item = value[i];
          ImageProgram program;
          if (!item.is_object() || !item.contains("path"))
            return Fail(at, "a program needs a path");
          if (!String(item["path"], at + ".path", &program.path)) return false;
          if (item.contains("createFile") &&
              !Bool(item["createFile"], at + ".createFile", &program.createFile))
            return false;
          if (item.contains("on")) {
            if (!item["on"].is_object())
              return Fail(at + ".on", "expected an object of argument: actions");
            for (const auto& rule : item["on"].items()) {
              ImageProgramRule programRule;
              programRule.argument = rule.key();
              if (!Actions(rule.value(), at + ".on." + rule.key(), &programRule.actions))
                return false;
              program.rules.push_back(programRule);
            }
          }
          if (item.contains("extractable")) {
            const Json& files = item["extractable"];
            if (!files.is_array()) return Fail(at + ".extractable", "expected a list");
            for (size_t j = 0; j < files.size(); ++j) {
              ImageFile file;
              if (!File(files[j], at + ".extractable[" + std::to_string(j) + "]", &file))
                return false;
              program.extractable.push_back(file);
            }
          }
          image->programs.push_back(program);
        }
      } else {
        return Fail(name, "unknown member");
      }
    }
    return true;
  }
};

}  // namespace

uint64_t FileTimeFromUtc(int year, int month, int day, int hour, int minute, int second) {
  // Days from 1601-01-01 by the proleptic Gregorian calendar (days-from-civil).
  int64_t y = year - (month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yearOfEra = y - era * 400;
  int64_t monthIndex = month > 2 ? month - 3 : month + 9;
  int64_t dayOfYear = (153 * monthIndex + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  int64_t daysFrom1970 = era * 146097 + dayOfEra - 719468;
  int64_t daysFrom1601 = daysFrom1970 + 134774;
  int64_t seconds = daysFrom1601 * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<uint64_t>(seconds) * 10000000u;
}

std::string RegStringBytes(const std::string& text) { return text + std::string(1, '\0'); }

std::string RegMultiStringBytes(const std::vector<std::string>& texts) {
  std::string bytes;
  for (const std::string& text : texts) bytes += text + std::string(1, '\0');
  bytes.push_back('\0');
  return bytes;
}

std::vector<std::string> RegStringsOf(const std::string& bytes) {
  std::vector<std::string> strings;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\0', start);
    if (end == std::string::npos) end = bytes.size();
    strings.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  if (!strings.empty() && strings.back().empty()) strings.pop_back();
  return strings;
}

std::string RegDwordBytes(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

int ReadMachineImage(const std::string& json, MachineImage* image, std::string* error) {
  *image = MachineImage();
  Json root = Json::parse(json, nullptr, false);
  if (root.is_discarded()) {
    if (error != nullptr) *error = "the image is not valid JSON";
    return 1;
  }
  Reader reader;
  bool ok = false;
  try {
    ok = reader.Image(root, image);
  } catch (const std::exception& e) {
    reader.Fail("image", e.what());
  }
  if (!ok) {
    if (error != nullptr) *error = reader.error;
    return 1;
  }
  return 0;
}
