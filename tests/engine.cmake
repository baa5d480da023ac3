# The engine's tests: reader and time line, the sequencer device on a stepped
# clock, and the real synthesizer and tools.
sonabel_add_test(engine_reader_test SOURCES engine_reader_test.cpp LABELS engine)
sonabel_add_test(engine_sequencer_test SOURCES engine_sequencer_test.cpp LABELS engine)
# Plays a reset file the build writes as a prelude.
add_dependencies(engine_sequencer_test sonabel_reset_files)
sonabel_add_test(engine_lyrics_test SOURCES engine_lyrics_test.cpp LABELS engine)
sonabel_add_test(engine_synth_test SOURCES engine_synth_test.cpp LABELS engine)
# Runs the render tool and reads the reset files the build writes.
add_dependencies(engine_synth_test sonabel-render sonabel_reset_files)
# Reads the saved audio back.
target_link_libraries(engine_synth_test PRIVATE PkgConfig::SNDFILE)
