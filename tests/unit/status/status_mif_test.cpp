// The status MIF report: the library path, the file from the built-in template (byte for
// byte), the settings file's template, the placeholder expansion and its bounds.
#include "status/status_mif.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/engine_sim_fixture.h"
#include "support/fault_platform.h"

namespace {

// The built-in template filled for a completed uninstall of "Sample App" at 01:05 on
// 7 March 2004; written here with LF line ends, which the file has as CR LF.
constexpr char kExpectedCompleted[] = R"(START COMPONENT
  NAME = "WORKSTATION"
  START GROUP
    NAME = "ComponentID"
    ID = 1
    CLASS = "DMTF|ComponentID|1.0"
    START ATTRIBUTE
      NAME = "Manufacturer"
      ID = 1
      ACCESS = READ-ONLY
      STORAGE = SPECIFIC
      TYPE = STRING(255)
      VALUE = "Tarn Testworks"
    END ATTRIBUTE
    START ATTRIBUTE
      NAME = "Product"
      ID = 2
      ACCESS = READ-ONLY
      STORAGE = SPECIFIC
      TYPE = STRING(255)
      VALUE = "Sample App"
    END ATTRIBUTE
    START ATTRIBUTE
      NAME = "Version"
      ID = 3
      ACCESS = READ-ONLY
      STORAGE = SPECIFIC
      TYPE = STRING(255)
      VALUE = "2.5"
    END ATTRIBUTE
    START ATTRIBUTE
      NAME = "Serial Number"
      ID = 4
      ACCESS = READ-ONLY
      STORAGE = SPECIFIC
      TYPE = STRING(255)
      VALUE = "SN-0042"
    END ATTRIBUTE
    START ATTRIBUTE
      NAME = "Uninstall"
      ID = 5
      ACCESS = READ-ONLY
      STORAGE = SPECIFIC
      TYPE = STRING(255)
      VALUE = "03/07/04 1:05"
    END ATTRIBUTE
  END GROUP
  START GROUP
    NAME = "UninstallStatus"
    ID = 2
    CLASS = "MICROSOFT|JOBSTATUS|1.0"
    START ATTRIBUTE
      NAME = "Status"
      ID = 1
      ACCESS = READ-ONLY
      STORAGE = SPECIFIC
      TYPE = STRING(255)
      VALUE = "Success"
    END ATTRIBUTE
    START ATTRIBUTE
      NAME = "Description"
      ID = 2
      ACCESS = READ-ONLY
      STORAGE = SPECIFIC
      TYPE = STRING(255)
      VALUE = ""
    END ATTRIBUTE
  END GROUP
END COMPONENT
)";

std::string WithCrLf(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c == '\n') result += '\r';
    result += c;
  }
  return result;
}

class StatusMifTest : public EngineSimTest {
 protected:
  void SetUp() override {
    EngineSimTest::SetUp();
    gStore.statusMifName.Set("SAMPLE.MIF");
    gStore.manufacturer.Set("Tarn Testworks");
    gStore.product.Set("Sample App");
    gStore.versionNumber.Set("2.5");
    gStore.serialNumber.Set("SN-0042");
    machine.settings.now = FileTimeFromUtc(2004, 3, 7, 1, 5, 0);
    machine.settings.timeZoneMinutes = 0;
  }

  // A bare path makes the library the system's; a full path places its file there.
  void AddStatusLibrary(int32_t result, bool withExport = true,
                        const std::string& path = "ismif32.dll") {
    MachineImage image;
    ImageLibrary library;
    library.path = path;
    library.exports.push_back(withExport ? "InstallStatusMIF" : "SomethingElse");
    library.statusMifResult = result;
    image.libraries.push_back(library);
    std::string error;
    ASSERT_EQ(machine.ApplyImage(image, &error), 0) << error;
    // Applying an image resets the clock.
    machine.settings.now = FileTimeFromUtc(2004, 3, 7, 1, 5, 0);
  }

  std::string Report() { return machine.FileContents("C:\\WINDOWS\\SAMPLE.MIF"); }
};

// The Windows directory that cannot be read: no report, rather than one in the current
// directory (the run's is the drive's root).
TEST_F(StatusMifTest, NoReportWhenTheWindowsDirectoryCannotBeRead) {
  FaultPlatform fault(machine);
  fault.FailOperation(FaultOp::WindowsDirectory);
  InstallPlatform(&fault);
  machine.SetCurrentDir("C:\\");
  WriteStatusMif();
  InstallPlatform(&machine);
  EXPECT_TRUE(fault.injected());
  EXPECT_FALSE(machine.FileExists("C:\\SAMPLE.MIF"));
  EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\SAMPLE.MIF"));
}

TEST_F(StatusMifTest, BuiltInTemplateByteForByte) {
  WriteStatusMif();
  ASSERT_TRUE(machine.FileExists("C:\\WINDOWS\\SAMPLE.MIF"));
  EXPECT_EQ(Report(), WithCrLf(kExpectedCompleted));
}

// No name, or one that could reach out of the Windows directory: no report at all, from
// the library or the file, and the file the name points at is untouched.
TEST_F(StatusMifTest, NoReportWithoutAPlainFileName) {
  AddStatusLibrary(0);
  Write("C:\\Users\\Public\\thesis.doc", "years of work");
  for (const char* name :
       {"", "..", "...", ".", "\\", "C:", "C:THESIS.DOC", "..\\Users\\Public\\thesis.doc",
        "../Users/Public/thesis.doc", "SUB\\SAMPLE.MIF", "a..b.mif"}) {
    gStore.statusMifName.Set(name);
    WriteStatusMif();
    EXPECT_TRUE(CallsOf("ismif32.dll").empty()) << name;
  }
  EXPECT_EQ(machine.FileContents("C:\\Users\\Public\\thesis.doc"), "years of work");
  EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\SAMPLE.MIF"));

  // Plain names stay exactly as logged, dots and blanks included, up to the field's length.
  std::string longName(123, 'M');
  for (const std::string& name : {std::string("my report.v2.mif"), longName + ".MIF"}) {
    gStore.statusMifName.Set(name.c_str());
    WriteStatusMif();
    EXPECT_TRUE(machine.FileExists("C:\\WINDOWS\\" + name)) << name;
  }
}

TEST_F(StatusMifTest, TheLibraryMakesTheReportWhenItSucceeds) {
  AddStatusLibrary(1);
  gRun.cancelled = true;
  WriteStatusMif();
  EXPECT_FALSE(machine.FileExists("C:\\WINDOWS\\SAMPLE.MIF"));
  ASSERT_EQ(CallsOf("ismif32.dll"), (std::vector<std::string>{"InstallStatusMIF"}));
  const SimLibraryCall& call = machine.libraryCalls.back();
  EXPECT_EQ(call.arguments,
            (std::vector<std::string>{"SAMPLE.MIF", "Tarn Testworks", "Sample App", "2.5", "ENU",
                                      "SN-0042", "Uninstall canceled by user", "0"}));
}

TEST_F(StatusMifTest, TheFileIsWrittenWhenTheLibraryRefuses) {
  AddStatusLibrary(0);
  WriteStatusMif();
  ASSERT_EQ(CallsOf("ismif32.dll"), (std::vector<std::string>{"InstallStatusMIF"}));
  EXPECT_EQ(machine.libraryCalls.back().arguments[6], "Uninstall successful");
  EXPECT_EQ(machine.libraryCalls.back().arguments[7], "1");
  EXPECT_EQ(Report(), WithCrLf(kExpectedCompleted));
}

TEST_F(StatusMifTest, TheFileIsWrittenWhenTheLibraryLacksTheExport) {
  AddStatusLibrary(1, false);
  WriteStatusMif();
  EXPECT_TRUE(CallsOf("ismif32.dll").empty());
  EXPECT_EQ(Report(), WithCrLf(kExpectedCompleted));
}

// Only the system directory supplies the library: a copy planted where the usual search
// would try (the application's folder, the temporary folder of the program's copy, the
// Windows folder and the 16-bit system folder beside the NT family's own) is never called,
// and the report is written directly.
struct PlantCase {
  const char* path;
  bool called;
};

class StatusLibraryPlace : public StatusMifTest, public ::testing::WithParamInterface<PlantCase> {};

TEST_P(StatusLibraryPlace, OnlyTheSystemDirectorySuppliesIt) {
  AddStatusLibrary(1, true, GetParam().path);
  ASSERT_TRUE(machine.FileExists(GetParam().path));
  WriteStatusMif();
  EXPECT_EQ(CallsOf("ismif32.dll").size(), GetParam().called ? 1u : 0u) << GetParam().path;
  EXPECT_EQ(machine.FileExists("C:\\WINDOWS\\SAMPLE.MIF"), !GetParam().called) << GetParam().path;
}

const PlantCase kPlantCases[] = {
    {"C:\\Program Files\\Sample App\\ismif32.dll", false},
    {"C:\\WINDOWS\\ismif32.dll", false},
    {"C:\\TEMP\\ismif32.dll", false},
    {"C:\\WINDOWS\\SYSTEM\\ismif32.dll", false},
    {"C:\\WINDOWS\\SYSTEM32\\ISMIF32.DLL", true},
};
INSTANTIATE_TEST_SUITE_P(Places, StatusLibraryPlace, ::testing::ValuesIn(kPlantCases));

// The wording of the flags: %5% in both groups, %7% and %8%.
struct WordingCase {
  bool cancelled;
  bool rollback;
  const char* action;  // %5%
  const char* status;
  const char* description;
};

TEST_F(StatusMifTest, WordingFollowsCancelAndRollback) {
  const WordingCase cases[] = {
      {false, false, "Uninstall", "Success", ""},
      {true, false, "Uninstall", "Failed", "Canceled by user"},
      {false, true, "Rollback", "Success", ""},
      {true, true, "Rollback", "Failed", "Canceled by user"},
  };
  for (const WordingCase& c : cases) {
    gRun.cancelled = c.cancelled;
    gRun.rollbackChosen = c.rollback;
    WriteStatusMif();
    std::string label = std::string(c.action) + "/" + c.status;
    EXPECT_NE(Report().find("      NAME = \"" + std::string(c.action) + "\"\r\n      ID = 5"),
              std::string::npos) << label;
    EXPECT_NE(Report().find("    NAME = \"" + std::string(c.action) + "Status\"\r\n"),
              std::string::npos) << label;
    EXPECT_NE(Report().find("      VALUE = \"" + std::string(c.status) + "\"\r\n"),
              std::string::npos) << label;
    EXPECT_NE(Report().find("NAME = \"Description\"\r\n      ID = 2\r\n      ACCESS = READ-ONLY"
                            "\r\n      STORAGE = SPECIFIC\r\n      TYPE = STRING(255)\r\n"
                            "      VALUE = \"" + std::string(c.description) + "\"\r\n"),
              std::string::npos) << label;
  }
}

TEST_F(StatusMifTest, SettingsTemplateWithCaretsAndUnknownPlaceholders) {
  Write("C:\\WINDOWS\\UNTARN32.INI",
        "[Language]\r\nMsg1000=a^b %0% %9% %1%^^%5%-%7%-%8%. 100%% %6%\r\n");
  gRun.cancelled = true;
  WriteStatusMif();
  EXPECT_EQ(Report(),
            "a\r\nb %0% %9% Tarn Testworks\r\n\r\nUninstall-Failed-Canceled by user. 100%% "
            "03/07/04 1:05");
}

TEST_F(StatusMifTest, AnEmptySettingsTemplateWritesAnEmptyFile) {
  Write("C:\\WINDOWS\\UNTARN32.INI", "[Language]\r\nMsg1000=\r\n");
  WriteStatusMif();
  ASSERT_TRUE(machine.FileExists("C:\\WINDOWS\\SAMPLE.MIF"));
  EXPECT_EQ(Report(), "");
}

TEST_F(StatusMifTest, AWindowsDirectoryEndingInABackslashGetsNoSecondOne) {
  machine.settings.windowsDirectory = "C:\\";
  WriteStatusMif();
  EXPECT_TRUE(machine.FileExists("C:\\SAMPLE.MIF"));
}

TEST_F(StatusMifTest, DateTextPadsAllButTheHour) {
  machine.settings.now = FileTimeFromUtc(1999, 12, 31, 23, 59, 0);
  Write("C:\\WINDOWS\\UNTARN32.INI", "[Language]\r\nMsg1000=%6%\r\n");
  WriteStatusMif();
  EXPECT_EQ(Report(), "12/31/99 23:59");
}

// The expansion itself, over buffers too small for its result: the result is always
// terminated inside the buffer and the bytes after it are never touched.
struct ExpansionCase {
  const char* text;
  size_t size;
  const char* expected;
  bool cut;
};

TEST(MifExpansionTest, PlaceholdersStayInsideTheBuffer) {
  MifValues values = {{"Maker", "P", "", "1234567890", "Uninstall", "D", "S", "%1%"}};
  const ExpansionCase cases[] = {
      {"[%1%]", 64, "[Maker]", false},
      {"[%2%][%3%]", 64, "[P][]", false},
      {"%8%", 64, "%1%", false},  // an inserted value is not expanded again
      {"%1%%", 64, "Maker%", false},
      {"%%1%", 64, "%Maker", false},
      {"%1", 64, "%1", false},
      {"[%1%]", 7, "[Maker", true},        // the tail is cut
      {"[%1%]", 5, "[Mak", true},          // the value itself is cut
      {"%4%%4%", 12, "1234567890%", true},
      {"ab%3%cd", 8, "abcd", false},       // shrinking never needs room
      {"%4%", 1, "", false},
  };
  for (const ExpansionCase& c : cases) {
    std::vector<char> buffer(c.size + 8, '#');
    strncpy(buffer.data(), c.text, c.size);
    buffer[c.size - 1] = '\0';
    bool cut = ExpandMifPlaceholders(buffer.data(), c.size, values);
    EXPECT_STREQ(buffer.data(), c.expected) << c.text << " in " << c.size;
    EXPECT_EQ(cut, c.cut) << c.text << " in " << c.size;
    for (size_t i = c.size; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], '#') << c.text << ": byte " << i << " written";
    }
  }
}

TEST(MifExpansionTest, CaretsStayInsideTheBuffer) {
  const ExpansionCase cases[] = {
      {"a^b", 16, "a\r\nb", false},
      {"^^", 16, "\r\n\r\n", false},
      {"a^b", 5, "a\r\nb", false},
      {"a^bc", 5, "a\r\nb", true},
      {"ab^", 4, "ab", true},
      {"", 4, "", false},
  };
  for (const ExpansionCase& c : cases) {
    std::vector<char> buffer(c.size + 8, '#');
    strncpy(buffer.data(), c.text, c.size);
    buffer[c.size - 1] = '\0';
    bool cut = ExpandCarets(buffer.data(), c.size);
    EXPECT_STREQ(buffer.data(), c.expected) << c.text << " in " << c.size;
    EXPECT_EQ(cut, c.cut) << c.text << " in " << c.size;
    for (size_t i = c.size; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], '#') << c.text << ": byte " << i << " written";
    }
  }
}

TEST_F(StatusMifTest, ATemplateThatOutgrowsTheScratchBufferIsCutAtItsEnd) {
  // 3000 placeholders of 3 characters that each become 14: about 42 KB once expanded.
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "%1%";
  Write("C:\\WINDOWS\\UNTARN32.INI", "[Language]\r\nMsg1000=" + text + "\r\n");
  WriteStatusMif();
  std::string report = Report();
  EXPECT_EQ(report.size(), kScratchBufferSize - 1);
  EXPECT_EQ(report.substr(0, 28), "Tarn TestworksTarn Testworks");
}

TEST_F(StatusMifTest, ACutNeverSplitsADoubleByteCharacter) {
  machine.settings.ansiCodePage = 932;
  LoadTextRules();
  // Two double-byte characters; the buffer has room for three bytes of them.
  MifValues values = {{"\x82\xA0\x82\xA2", "", "", "", "", "", "", ""}};
  char small[6] = "ab%1%";
  EXPECT_TRUE(ExpandMifPlaceholders(small, sizeof small, values));
  EXPECT_STREQ(small, "ab\x82\xA0");
  char carets[6] = "\x82\xA0^\x82\xA1";
  EXPECT_TRUE(ExpandCarets(carets, sizeof carets));
  EXPECT_STREQ(carets, "\x82\xA0\r\n");
  machine.settings.ansiCodePage = 1252;
  LoadTextRules();
}

}  // namespace
