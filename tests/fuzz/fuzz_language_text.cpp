// Fuzzes the message texts: ExpandLanguageText on arbitrary text and buffer sizes, and
// MessageText over an arbitrary settings file. Input: byte 0 picks the code page and the
// text id, byte 1 the buffer size; the rest is the text (and the settings file body).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/message_text.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/sim/sim_machine.h"
#include "platform/built_in_texts.h"
#include "run/run_reset.h"

namespace {

constexpr char kSettings[] = "C:\\APP\\UNTARN32.INI";

struct Machine {
  SimMachine sim;
  SimUi ui;
  Machine() {
    InstallPlatform(&sim);
    InstallUserInterface(&ui);
  }
};

void Check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Machine machine;
  if (size < 2) return 0;
  bool doubleByte = (data[0] & 0x80) != 0;
  uint32_t codePage = doubleByte ? 932 : 1252;
  if (machine.sim.settings.ansiCodePage != codePage) {
    machine.sim.settings.ansiCodePage = codePage;
    LoadTextRules();
  }
  int id = data[0] & 0x7F;  // 0..127: ids with and without table texts
  size_t bufferSize = 1 + (data[1] % 160) * ((data[1] & 0x80) ? 8 : 1);
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  // Expansion in an exact-size buffer.
  std::vector<char> buffer(bufferSize);
  CopyText(buffer.data(), bufferSize, text.c_str());
  size_t before = strlen(buffer.data());
  size_t breaks = 0;
  for (const char* p = buffer.data(); *p != '\0'; p = NextChar(p)) breaks += (*p == '|');
  ExpandLanguageText(buffer.data(), bufferSize);
  size_t after = strnlen(buffer.data(), bufferSize);
  Check(after < bufferSize);
  Check(after == std::min(before + breaks, bufferSize - 1));
  if (!doubleByte) {
    Check(memchr(buffer.data(), '|', after) == nullptr);
    Check(memchr(buffer.data(), '~', after) == nullptr);
  }

  // The same text as the settings file: whatever it holds, the result fits the buffer, and
  // without an entry for the id it is the table's text cut to fit.
  ResetRunWideState();
  gRun.settingsFile.Set(kSettings);
  machine.sim.WriteFile(kSettings, "[Language]\r\n" + text);
  std::vector<char> message(bufferSize);
  MessageText(id, message.data(), bufferSize);
  Check(memchr(message.data(), '\0', bufferSize) != nullptr);
  if (text.find("sg") == std::string::npos && text.find("SG") == std::string::npos &&
      text.find("sG") == std::string::npos && text.find("Sg") == std::string::npos) {
    const char* table = StringTableText(id);
    std::string expected = table != nullptr ? std::string(table).substr(0, bufferSize - 1) : "";
    Check(expected == message.data());
  }
  return 0;
}
