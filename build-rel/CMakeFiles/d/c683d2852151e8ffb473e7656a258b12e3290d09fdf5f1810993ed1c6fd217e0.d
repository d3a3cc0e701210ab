src/veltranmoor_autogen/timestamp: \
  /work/wt/issue3/src/CMakeLists.txt \
  /work/wt/issue3/src/app/main.cpp \
  /usr/bin/cmake
