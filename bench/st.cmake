# A real-world Structured Text algorithm through the script engine against
# the same algorithm in Lua 5.4.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(TELVO_LUA_ST QUIET IMPORTED_TARGET lua5.4)
endif()
if(TELVO_LUA_ST_FOUND)
  telvo_bench(bench_st SOURCES bench_st.cpp
              LIBS telvo_runtime telvo_persistence pugixml::pugixml PkgConfig::TELVO_LUA_ST)
else()
  message(WARNING "lua5.4 not found (liblua5.4-dev): bench_st not built")
endif()
