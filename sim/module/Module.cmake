# The simulated module's web interface is served with cpp-httplib (the distribution ships its
# compiled part as libcpp-httplib).
find_path(HTTPLIB_INCLUDE_DIR httplib.h REQUIRED)
find_library(HTTPLIB_LIBRARY NAMES cpp-httplib REQUIRED)
target_include_directories(qelta_sim PRIVATE ${HTTPLIB_INCLUDE_DIR})
target_link_libraries(qelta_sim PUBLIC ${HTTPLIB_LIBRARY})
