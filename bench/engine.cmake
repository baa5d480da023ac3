# The engine's benchmark programs; bench/parts/engine.sh runs them.
sonabel_add_bench(engine_timing engine_timing.cpp)
sonabel_add_bench(engine_envelope engine_envelope.cpp)
sonabel_add_bench(timer_floor timer_floor.cpp)
sonabel_add_bench(audio_samples_differ audio_samples_differ.cpp)
target_link_libraries(audio_samples_differ PRIVATE PkgConfig::SNDFILE)
# Needs only the engine, so that it builds on its own.
add_executable(big_midi_bench big_midi_bench.cpp)
sonabel_warnings(big_midi_bench)
set_target_properties(big_midi_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_link_libraries(big_midi_bench PRIVATE sonabel_engine)
