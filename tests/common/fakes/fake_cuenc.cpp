// A GPU probe library with a fixed answer (or without the export).
#if defined(FAKE_CUENC_ZERO)
extern "C" __attribute__((visibility("default"))) int cuda_x264_is_support_cuda() { return 0; }
#elif defined(FAKE_CUENC_THREE)
extern "C" __attribute__((visibility("default"))) int cuda_x264_is_support_cuda() { return 3; }
#elif defined(FAKE_CUENC_HEVC)
// Two devices with H.264, one of them with H.265 too.
extern "C" __attribute__((visibility("default"))) int cuda_x264_is_support_cuda() { return 2; }
extern "C" __attribute__((visibility("default"))) int cuda_encoder_probe_report(char* report, int size, int* hevc) {
  if (report && size > 0) report[0] = '\0';
  if (hevc) *hevc = 1;
  return 2;
}
#else
extern "C" __attribute__((visibility("default"))) int some_other_export() { return 1; }
#endif
