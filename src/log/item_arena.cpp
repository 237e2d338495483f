// ItemArena: the chained-block allocator behind every record, string and list array of the
// run. A request is a pointer bump in the newest block; a request that does not fit starts
// a new block, which is the ordinary block size or, for a request too large for one, a block
// of exactly that request plus its link. Blocks are freed only all together, at the end.
#include <cstdlib>
#include <cstring>

#include "log/item_store.h"

// The link to the next block sits at the start of each block. It is padded to 8 bytes so
// that the first request in a block is 8-aligned on every CPU, like every later one.
struct ArenaBlock {
  ArenaBlock* next;
};

ItemArena gArena;

namespace {

size_t RoundUp8(size_t n) { return (n + 7u) & ~static_cast<size_t>(7u); }

// A run without its store cannot go on; there is nothing sensible to fall back to.
[[noreturn]] void OutOfMemory() { abort(); }

void StartBlock(size_t size) {
  size_t blockSize = kArenaBlockSize;
  if (size > kArenaBlockSize - kArenaLinkSize) blockSize = size + kArenaLinkSize;
  auto* block = static_cast<ArenaBlock*>(malloc(blockSize));
  if (block == nullptr) OutOfMemory();
  block->next = nullptr;
  if (gArena.newest != nullptr) {
    gArena.newest->next = block;
  } else {
    gArena.first = block;
  }
  gArena.newest = block;
  gArena.used = kArenaLinkSize;
  gArena.capacity = blockSize;
  ++gArena.blockCount;
}

}  // namespace

void* ArenaAllocate(size_t size) {
  // A size near the address space would wrap the block arithmetic below.
  if (size > (static_cast<size_t>(-1) >> 1)) OutOfMemory();
  size_t start = RoundUp8(gArena.used);
  if (gArena.newest == nullptr || start > gArena.capacity || size > gArena.capacity - start) {
    StartBlock(size);
    start = gArena.used;
  }
  gArena.used = start + size;
  return reinterpret_cast<char*>(gArena.newest) + start;
}

void ArenaRelease() {
  ArenaBlock* block = gArena.first;
  while (block != nullptr) {
    ArenaBlock* next = block->next;
    free(block);
    block = next;
  }
  gArena = ItemArena();
}

char* ArenaCopy(const char* text) {
  if (text == nullptr) text = "";
  size_t length = strlen(text);
  auto* copy = static_cast<char*>(ArenaAllocate(length + 1));
  memcpy(copy, text, length + 1);
  return copy;
}
