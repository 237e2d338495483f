// Undoing system registrations: services the installation created, and the "device="
// lines it added to the [386Enh] sections of SYSTEM.INI.
#pragma once

void RemoveService(const char* name);
void RemoveDeviceLines(const char* filePath);
