// The restart-time deletion of the program's temporary copy (made at start-up so that the
// installed program file can be removed by a clean-up run of the copy).
#pragma once

// Arranges for path to be deleted at the next restart of Windows: a delay-until-reboot
// move on the NT family, a "NUL=" line in WININIT.INI's [rename] section elsewhere.
// Silent: when neither works nothing is scheduled.
void ScheduleTempCopyDeletion(const char* path);
