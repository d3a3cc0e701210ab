bench/bench_startup_autogen/timestamp: \
  /work/wt/issue4/bench/CMakeLists.txt \
  /work/wt/issue4/bench/startup.cpp \
  /usr/bin/cmake
