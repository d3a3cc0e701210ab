bench/bench_sample_autogen/timestamp: \
  /work/wt/issue3/bench/CMakeLists.txt \
  /work/wt/issue3/bench/sample.cpp \
  /usr/bin/cmake
