bench/bench_startup_autogen/timestamp: \
  /work/wt/issue3/bench/CMakeLists.txt \
  /work/wt/issue3/bench/startup.cpp \
  /usr/bin/cmake
