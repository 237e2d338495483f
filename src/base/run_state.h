// RunState: the one run-wide record of options, paths and flags. Start-up fills what it
// owns, the loader, the wizard and the drivers the rest; it lives for the whole process.
// The run's fixed buffers (scratch text, action line, texts fetched once) live here too,
// so no part of the run can outgrow them.
#pragma once

#include <cstdint>

#include "base/fixed_text.h"
#include "platform/platform.h"

constexpr int kPlatformNt = 1;     // platformKind of the Windows NT family
constexpr int kPlatformOther = 2;  // every other platform (the Windows 95 family)

constexpr int kModeAutomatic = 1000;
constexpr int kModeCustom = 1001;
constexpr int kModeRepair = 1009;

// The process's exit code. It is 0 whatever a run did or was told, so that a caller never
// reads a failure into an ended uninstall; only a run that could not start at all says why.
constexpr int kExitNormal = 0;
constexpr int kExitAnotherRun = 3;         // a run of the same log was still going
constexpr int kExitJournalUnreadable = 4;  // an interrupted run's journal cannot be read

constexpr size_t kScratchBufferSize = 16384;
constexpr size_t kActionTextSize = 1024;

using PathText = FixedText<256>;

struct RunState {
  int exitCode = kExitNormal;
  // Start-up: platform and own files.
  int platformKind = kPlatformOther;
  bool newShell = false;
  PathText modulePath;
  PathText settingsFile;
  bool inPlaceRun = false;
  PathText tempCopyPath;

  // Options from the command line.
  bool automatic = false;
  bool silent = false;
  bool rollbackChosen = false;
  bool startAtFinish = false;
  int launchShortcut = 0;
  bool cleanupRun = false;
  bool rebootNeeded = false;
  PathText logPath;
  bool hasCommandTitle = false;
  PathText commandTitle;
  // The text left after the /z switch (the clean-up run's two paths).
  PathText cleanupArguments;

  FixedText<260> programFilesDir;

  // From the loader.
  PathText appDirectory;
  PathText appTitle;
  bool repairAvailable = false;
  bool restorePointWanted = false;
  bool rollbackAvailable = false;

  // Flow of the run.
  int uninstallMode = 0;
  uint8_t wizardPage = 0;
  bool wizardFinished = false;
  bool cancelled = false;
  bool selfDeletePending = false;

  // Progress display and questions.
  bool progressMode = false;
  int32_t progressPosition = 0;
  int32_t progressTotal = 0;
  int32_t animationFrame = 1;
  bool sharedYesToAll = false;
  bool sharedNoToAll = false;
  bool repairMode = false;
  bool repairQueued = false;
  bool repairYesToAll = false;
  bool repairNoToAll = false;
  // A file that needed repair could not be handed to its installation program: no list
  // file could be written where its path has no blank. The run reports it and does not
  // count as a success.
  bool repairListFailed = false;
  // The repair's list files, one entry per section number (empty: none yet); an arena
  // table of repairListCount entries, made when the repair starts.
  PathText* repairListFiles = nullptr;
  int32_t repairListCount = 0;
  uint16_t tempNameCounter = 0;

  // Windows of the run (0 when absent).
  WindowHandle mainWindow = 0;
  WindowHandle progressWindow = 0;
  WindowHandle wizardWindow = 0;

  // The shell's change notification, looked up once at start-up.
  LibHandle shellLibrary = 0;
  bool hasShellNotify = false;

  // Display settings (section "Settings" of the settings file).
  int startRed = 0, startGreen = 0, startBlue = 255;
  int endRed = 0, endGreen = 0, endBlue = 0;
  int noBackground = 1;
  // The dialog font: face (empty: the template's), character set and size in points.
  FixedText<32> fontFace;
  uint8_t fontCharSet = 0;
  uint8_t fontPoints = 8;
  // The screen that dialogs centre on, in pixels (0 until start-up reads it).
  int screenWidth = 0;
  int screenHeight = 0;

  // Texts fetched once at start-up.
  FixedText<512> rebootText;      // text 68
  FixedText<256> rebootCaption;   // text 25

  // Shared working buffers.
  char scratchBuffer[kScratchBufferSize] = {};
  char actionText[kActionTextSize] = {};
};

extern RunState gRun;

// Puts every field back to its start value (tests run many runs in one process).
void ResetRunState();
