// Writes the item store and the header values of a loaded log as one JSON object: "header",
// "SectionSources" and the fifteen lists under their own names, each record with every
// field of its record type (tree links left out). docs/tarnlog.md describes the shape.
#pragma once

#include "tarnlog/json_writer.h"

// Writes the whole object for gStore and the header values kept in gRun.
void DumpStore(JsonWriter& w);
