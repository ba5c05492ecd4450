// A GPU probe library with a fixed answer (or without the export).
#if defined(FAKE_CUENC_ZERO)
extern "C" __attribute__((visibility("default"))) int cuda_x264_is_support_cuda() { return 0; }
#elif defined(FAKE_CUENC_THREE)
extern "C" __attribute__((visibility("default"))) int cuda_x264_is_support_cuda() { return 3; }
#else
extern "C" __attribute__((visibility("default"))) int some_other_export() { return 1; }
#endif
