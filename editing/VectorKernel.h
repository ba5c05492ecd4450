#pragma once
// Per-pixel loops that pay off with wider vectors get an AVX2 variant, chosen
// when the program starts.
#if defined(__x86_64__)
#define MIVORA_VECTOR_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define MIVORA_VECTOR_KERNEL
#endif
