ulmar_add_bench(bench_stages bench_stages.cpp)
