// A hint to start loading memory that will soon be read, for walks that
// visit it in an order the processor cannot foresee.
#pragma once

namespace catpack {

// Asks the processor to start loading `address`; a hint only.
inline void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
  // An empty statement the compiler must keep: without it, a function that
  // does nothing but prefetch counts as one without effect, and its calls
  // are dropped.
  __asm__ volatile("" : : "r"(address));
#else
  (void)address;
#endif
}

}  // namespace catpack
