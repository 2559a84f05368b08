# The JUCE-free mapping of the seven user controls onto the facade, shared by plug-in and tools.
add_library(ulmar_controls STATIC ${CMAKE_CURRENT_LIST_DIR}/ControlMapping.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/UlmarProfiles.cpp)
target_include_directories(ulmar_controls PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ulmar_controls PUBLIC vyk_engine PRIVATE ulmar_flags ulmar_sanitize)
