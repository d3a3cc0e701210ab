src/vm_actions_autogen/timestamp: \
  /work/wt/issue3/src/CMakeLists.txt \
  /work/wt/issue3/src/actions/AutoPilot.h \
  /usr/bin/cmake
