# The script engine against Lua 5.4 on the same work. Lua is used here only,
# as a point of reference.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(TELVO_LUA QUIET IMPORTED_TARGET lua5.4)
endif()
if(TELVO_LUA_FOUND)
  telvo_bench(bench_script SOURCES bench_script.cpp LIBS telvo_script PkgConfig::TELVO_LUA)
else()
  message(WARNING "lua5.4 not found (liblua5.4-dev): bench_script not built")
endif()
