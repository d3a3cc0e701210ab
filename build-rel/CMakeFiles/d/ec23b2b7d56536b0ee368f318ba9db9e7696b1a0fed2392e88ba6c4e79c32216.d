bench/bench_sensors_autogen/timestamp: \
  /work/wt/issue4/bench/CMakeLists.txt \
  /work/wt/issue4/bench/sensors.cpp \
  /usr/bin/cmake
