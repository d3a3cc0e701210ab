src/vm_assistant_autogen/timestamp: \
  /work/wt/issue3/src/CMakeLists.txt \
  /work/wt/issue3/src/assistant/MemoryRelief.cpp \
  /work/wt/issue3/src/assistant/MemoryRelief.h \
  /usr/bin/cmake
