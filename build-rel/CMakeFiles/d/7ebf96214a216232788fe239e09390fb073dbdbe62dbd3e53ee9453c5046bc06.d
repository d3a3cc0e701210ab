src/vm_optimisation_autogen/timestamp: \
  /work/wt/issue3/src/CMakeLists.txt \
  /work/wt/issue3/src/optimisation/AIWorkloadMode.h \
  /work/wt/issue3/src/optimisation/PerformanceMode.cpp \
  /work/wt/issue3/src/optimisation/PerformanceMode.h \
  /work/wt/issue3/src/optimisation/PerformanceProfileManager.cpp \
  /work/wt/issue3/src/optimisation/PerformanceProfileManager.h \
  /work/wt/issue3/src/optimisation/ProactiveOptimizer.h \
  /work/wt/issue3/src/optimisation/ProactiveSweepService.h \
  /work/wt/issue3/src/optimisation/ProfileService.h \
  /work/wt/issue3/src/optimisation/iCloudManager.h \
  /usr/bin/cmake
