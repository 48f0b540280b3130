#pragma once

// Per-pixel kernels marked LUMORA_VECTOR_CLONES are compiled for AVX-512, AVX2 and the baseline,
// and the processor's best is picked at load time. Not under the sanitizers: the picking runs
// while the program is loaded, before their runtime is set up, and the thread sanitizer's
// instrumentation of it crashes there.
#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define LUMORA_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define LUMORA_VECTOR_CLONES
#endif
