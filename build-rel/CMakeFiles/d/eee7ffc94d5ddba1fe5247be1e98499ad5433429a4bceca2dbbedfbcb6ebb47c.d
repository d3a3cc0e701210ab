src/veltranmoor_autogen/timestamp: \
  /work/wt/issue4/src/CMakeLists.txt \
  /work/wt/issue4/src/app/main.cpp \
  /usr/bin/cmake
