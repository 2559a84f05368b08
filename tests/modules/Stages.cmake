# Input and output stages, output compressor and bass AGC: one program per module family, and one for
# the four inside the whole chain.
ulmar_add_test(test_input_output test_input_output.cpp)
ulmar_add_test(test_output_compressor test_output_compressor.cpp)
ulmar_add_test(test_bagc test_bagc.cpp)
ulmar_add_test(test_stages_chain test_stages_chain.cpp)
