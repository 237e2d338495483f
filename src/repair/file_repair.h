// File repair from the installation source: the check of each logged file against its
// stamp, the newer-file question, the list files (one per installation program, in the
// temporary folder, prefix "KTC") and the source run, which finds each installation
// program, asking the user for it when it is not where the log says, and runs it with
// "/X=<list file>" so that it extracts exactly the listed files again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "repair/file_check.h"

// Makes the table of list files (one entry per section, none yet). Called when a repair
// starts; the table comes from the arena.
void PrepareRepairLists();

// True when the section names an installation program that a repair can run: a "Source: "
// record with its attributes after a '|'. Files of other sections are left as they are:
// no program would ever read their list.
bool HasUsableSource(int section);

// Checks one logged file and queues it in its section's list file when it is missing or
// changed, or newer and the user agrees. Returns the verdict of the check.
StampVerdict CheckAndQueueFile(const char* path, const char* stampText, int section);

// Asks whether a file newer than the logged one is to be replaced (dialog 104, caption
// 76), remembering Yes to All and No to All; a silent run answers No. True for Yes.
bool IsNewerFileToBeReplaced(const char* path, const char* stampText, const StampCheck& check);

// The installation program of a "Source: " text: its path (into a buffer of size bytes;
// false when it does not fit) and the attributes text after the first '|'.
bool SplitRepairSource(const char* source, char* path, size_t size, const char** attributes);

// The attributes of the program at path as the log writes them,
// "MM-DD-YYYY | HH:MM:SS | size"; false when it cannot be opened or has no DOS time.
bool FormatProgramStamp(const char* path, char* out, size_t size);

// True when the program at path is the one the log names by its attributes: the same text
// as FormatProgramStamp gives, or the same but for a time one daylight-saving shift away
// (the log wrote the program's time with the offset of the day it was installed).
bool IsLoggedProgram(const char* path, const char* attributes);

// The request text of the path prompt: text 79 with the attributes as the prompt shows
// them (each '|' replaced by '/' by the source run).
void FormatPromptRequest(const char* shownAttributes, char* out, size_t size);

// Runs the installation program of every section with a list file, newest section first,
// and deletes the list files. A cancelled prompt ends it and deletes the lists not run.
void RunInstallationPrograms();

// Deletes every list file still in the table (lists made for files whose line could not be
// written, when nothing was queued and no program runs).
void DropRemainingListFiles();
