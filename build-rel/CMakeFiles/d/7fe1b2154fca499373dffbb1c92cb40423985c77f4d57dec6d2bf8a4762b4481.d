src/vm_guards_autogen/timestamp: \
  /work/wt/issue3/src/CMakeLists.txt \
  /work/wt/issue3/src/guards/AIShield.h \
  /work/wt/issue3/src/guards/SnoozeGuard.h \
  /work/wt/issue3/src/guards/SnoozeGuardService.h \
  /work/wt/issue3/src/guards/TavrilonWatcher.h \
  /work/wt/issue3/src/guards/WorkGuard.h \
  /usr/bin/cmake
