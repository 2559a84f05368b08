# Multiband dynamics and stereo widener: separate programs, no shared state.
ulmar_add_test(test_multiband test_multiband.cpp test_multiband_block_path.cpp MultiBandReference.cpp)
ulmar_add_test(test_stereo_widen test_stereo_widen.cpp)
