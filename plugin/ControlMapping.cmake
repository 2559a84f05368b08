# JUCE-free plug-in glue shared by the plug-in, the tools and the tests: the control mapping, the
# built-in profile list, the host-state blob and latency compensation.
add_library(ulmar_controls STATIC ${CMAKE_CURRENT_LIST_DIR}/ControlMapping.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/UlmarProfiles.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/ProcessorState.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/LatencyCompensator.cpp)
target_include_directories(ulmar_controls PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ulmar_controls PUBLIC vyk_engine PRIVATE ulmar_flags ulmar_sanitize)
