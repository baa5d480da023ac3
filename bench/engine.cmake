# The engine's benchmark programs; bench/parts/engine.sh runs them.
sonabel_add_bench(engine_timing engine_timing.cpp)
sonabel_add_bench(engine_envelope engine_envelope.cpp)
sonabel_add_bench(timer_floor timer_floor.cpp)
