// What a run does when memory runs out: an index of many millions of
// members may not fit in a 32-bit address space. The run stops with a
// message, and no output it had begun is left behind.
#pragma once

namespace catpack {

// Makes every failed allocation of the program's own objects end the run as
// endForExhaustedMemory does; called once, at the start.
void endRunWhenMemoryRunsOut();

// Prints "Out of memory, aborting", removes the files the run was making,
// cuts back what it was appending, and ends the process with exit code 1.
[[noreturn]] void endForExhaustedMemory();

}  // namespace catpack
