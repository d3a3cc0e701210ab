src/vm_assistant_autogen/timestamp: \
  /work/wt/issue4/src/CMakeLists.txt \
  /work/wt/issue4/src/assistant/MemoryRelief.cpp \
  /work/wt/issue4/src/assistant/MemoryRelief.h \
  /usr/bin/cmake
