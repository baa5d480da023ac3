# The engine's tests: reader, time line and chase, the sequencer device on a
# stepped clock, and the real synthesizer and tools.
sonabel_add_test(engine_reader_test SOURCES engine_reader_test.cpp)
sonabel_add_test(engine_timeline_test SOURCES engine_timeline_test.cpp)
