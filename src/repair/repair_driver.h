// The repair driver: puts an installed application back into the state its installations
// left it in. Files that changed or went are queued for their installation programs, links
// are written again, the logged registry values are written again, servers registered
// again, and finally the installation programs extract what was queued.
#pragma once

// The whole repair, once per run, after the wizard has finished (with its window open).
void RepairDriver();

// The section whose installation program repairs a logged file: its info section when
// set (the last section that logged it without copying it), otherwise its last section.
struct FileItem;
int RepairSectionOf(const FileItem& item, bool missingFile);

// For each of the store's RepairValues (an array in the arena), whether a later one writes
// the same value (root, key and name) again. Only the last writing of a value is made:
// the earlier ones hold what an earlier installation wrote, and making one first would
// leave it there when the last one fails.
const bool* RewrittenRepairValues();
