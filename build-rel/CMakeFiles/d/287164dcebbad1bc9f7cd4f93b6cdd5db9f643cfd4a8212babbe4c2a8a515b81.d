src/vm_actions_autogen/timestamp: \
  /work/wt/issue4/src/CMakeLists.txt \
  /work/wt/issue4/src/actions/AutoPilot.h \
  /usr/bin/cmake
