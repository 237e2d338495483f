// Seeding the real machine from a machine image: directories, files with their contents,
// times and attributes, registry keys and values, services, and stub files for the
// image's programs and libraries. What a real machine cannot take from an image (chosen
// short names, junctions, the platform settings, Program Manager groups, scripted program
// behaviour) is reported as skipped, never pretended.
#pragma once

#include <string>
#include <vector>

#include "platform/image/machine_image.h"

struct SeedReport {
  std::vector<std::string> done;     // one line per change made
  std::vector<std::string> skipped;  // parts of the image left out, and why
  std::vector<std::string> failed;   // changes that failed, with the error code
};

// Applies the image to the running system. Returns the number of failed changes.
int SeedMachine(const MachineImage& image, SeedReport* report);

// The image's files that are held open by another process ("inUse").
std::vector<std::string> FilesInUse(const MachineImage& image);
