# The DLL needs nothing but Windows' own DLLs: the compiler's runtime is
# linked in, so no libgcc, libstdc++ or winpthread DLL may be imported.
include(${CMAKE_CURRENT_LIST_DIR}/read_dll.cmake)
read_dll(dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(REPLACE "DLL Name: " "" imports "${imports}")
set(foreign ${imports})
list(FILTER foreign EXCLUDE REGEX "^(KERNEL32|kernel32|msvcrt|ucrtbase|ntdll|ADVAPI32|USER32|api-ms-win-[a-z0-9-]+)\\.dll$")
if(NOT imports OR foreign)
  message(FATAL_ERROR "the DLL needs more than system DLLs\nimports: ${imports}\nnot from the system: ${foreign}")
endif()
