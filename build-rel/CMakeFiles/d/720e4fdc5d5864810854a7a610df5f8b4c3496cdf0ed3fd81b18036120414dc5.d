src/vm_services_autogen/timestamp: \
  /work/wt/issue3/src/CMakeLists.txt \
  /work/wt/issue3/src/services/TavrilonFleetClient.h \
  /work/wt/issue3/src/services/TelemetryCollector.cpp \
  /work/wt/issue3/src/services/TelemetryCollector.h \
  /work/wt/issue3/src/services/TelemetryService.h \
  /work/wt/issue3/src/services/VRAXClient.h \
  /usr/bin/cmake
