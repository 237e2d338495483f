// Contract of library loading: a library asked for by its bare name comes from the system
// directory only, never from a folder where somebody may have planted one.
#include "contract/contract_support.h"

namespace {

using LibraryContract = ContractTest;

TEST_F(LibraryContract, BareNamesAreLookedForInTheSystemDirectoryOnly) {
  // A loadable image (a copy of this program) in the current folder, under a name that the
  // system directory lacks: the usual search would find it there.
  char module[260];
  ASSERT_GT(Sys().ModuleFileName(module, sizeof module), 0);
  std::string planted = PathOf("ktmcplnt.dll");
  ASSERT_EQ(Sys().CopyFileTo(module, planted.c_str(), false), 0);
  char saved[260];
  ASSERT_GT(Sys().GetCurrentDir(saved, sizeof saved), 0);
  ASSERT_EQ(Sys().SetCurrentDir(Scratch().c_str()), 0);

  EXPECT_EQ(Sys().LoadSystemLib("ktmcplnt.dll"), 0u);
  EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrModNotFound));
  EXPECT_EQ(Sys().LoadLib("ktmcplnt.dll"), 0u);
  // By its path the same file loads: only the search kept it out.
  LibHandle byPath = Sys().LoadLib(planted.c_str());
  EXPECT_NE(byPath, 0u);
  Sys().FreeLib(byPath);

  LibHandle shell = Sys().LoadSystemLib("SHELL32.DLL");
  ASSERT_NE(shell, 0u);
  EXPECT_TRUE(Sys().HasEntry(shell, "SHChangeNotify"));
  Sys().FreeLib(shell);
  LibHandle ole = Sys().LoadSystemLib("ole32");  // the extension is the default one
  EXPECT_NE(ole, 0u);
  Sys().FreeLib(ole);
  EXPECT_EQ(Sys().SetCurrentDir(saved), 0);
}

TEST_F(LibraryContract, SystemLibraryNamesWithAFolderOrDriveAreRefused) {
  char system[260];
  ASSERT_GT(Sys().SystemDirectory(system, sizeof system), 0);
  const std::string names[] = {std::string(system) + "\\SHELL32.DLL",
                               "SYSTEM32\\SHELL32.DLL",
                               ".\\SHELL32.DLL",
                               "..\\SHELL32.DLL",
                               "SYSTEM32/SHELL32.DLL",
                               "C:SHELL32.DLL",
                               ""};
  for (const std::string& name : names) {
    EXPECT_EQ(Sys().LoadSystemLib(name.c_str()), 0u) << name;
    EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrInvalidName)) << name;
  }
}

}  // namespace
