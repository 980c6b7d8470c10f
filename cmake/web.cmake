# The browser build (emcmake cmake -S . -B build-web): the same game libraries compiled by
# Emscripten, the web platform driver instead of the SDL one, and a page of our own. The data
# directory and the resources carried in the program come from a native build's asset generator
# (KX_NATIVE_BUILD, built first by `make web`), since the generator is a tool of the build machine.
set(KX_NATIVE_BUILD "${CMAKE_SOURCE_DIR}/build" CACHE PATH "native build holding data/ and generated/")
set(KX_NATIVE_DATA ${KX_NATIVE_BUILD}/data)
set(KX_RESOURCES_CPP ${KX_NATIVE_BUILD}/generated/resources.cpp)
set(KX_SHIPPED_RECORDS ${KX_NATIVE_BUILD}/install-files/rec.kbx)
foreach(f ${KX_NATIVE_DATA}/.stamp ${KX_RESOURCES_CPP} ${KX_SHIPPED_RECORDS})
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "${f} is missing: build the native data first (make web does)")
  endif()
endforeach()

# Emscripten's own optimiser flags; ASYNCIFY instruments the calls that may sleep.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")
# clang warns of a few things GCC does not; the native clang builds (fuzzing) see the same.
add_compile_options(-fexceptions -Wno-unused-private-field)

function(kx_web_library name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
endfunction()

add_library(kx_resources STATIC ${KX_RESOURCES_CPP})
target_include_directories(kx_resources PUBLIC ${CMAKE_SOURCE_DIR}/src)

# The platform: the seam and its neutral helpers, the web driver; libjpeg's decoder gives way to
# the browser's (src/platform/web/web_jpeg.cpp).
file(GLOB kx_platform_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/*.cpp
     ${CMAKE_SOURCE_DIR}/src/platform/web/*.cpp)
list(FILTER kx_platform_srcs EXCLUDE REGEX "/platform/jpeg\\.cpp$")
add_library(kx_platform STATIC ${kx_platform_srcs})
target_include_directories(kx_platform PUBLIC ${CMAKE_SOURCE_DIR}/src)

kx_web_library(kx_toolkit src/toolkit)
target_link_libraries(kx_toolkit PUBLIC kx_platform kx_resources)
# The translation catalogues travel inside the program here too.
set(KX_CATALOGUES_CPP ${CMAKE_BINARY_DIR}/generated/catalogues.cpp)
kx_carry_catalogues(${KX_CATALOGUES_CPP})
target_sources(kx_toolkit PRIVATE ${KX_CATALOGUES_CPP})
kx_web_library(kx_display src/display)
target_link_libraries(kx_display PUBLIC kx_toolkit)
kx_web_library(kx_sprites src/sprites)
target_link_libraries(kx_sprites PUBLIC kx_display)
kx_web_library(kx_input src/input)
target_link_libraries(kx_input PUBLIC kx_toolkit)
kx_web_library(kx_sound src/sound)
target_link_libraries(kx_sound PUBLIC kx_display)
kx_web_library(kx_game src/game)
target_link_libraries(kx_game PUBLIC kx_sprites kx_input kx_sound kx_resources)
# The replays' zlib: its interface over the browser's own (de)compression streams.
target_include_directories(kx_game PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/web/include)
target_include_directories(kx_platform PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/web/include)

execute_process(COMMAND git describe --always --dirty --tags
                WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE KX_BUILD_ID
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE kx_git_status)
if(NOT kx_git_status EQUAL 0 OR NOT KX_BUILD_ID)
  string(TIMESTAMP KX_BUILD_ID "%Y-%m-%d" UTC)
endif()
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/game/command_line.cpp PROPERTIES
                            COMPILE_DEFINITIONS "KX_BUILD_ID=\"${KX_BUILD_ID}\"")
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/game/data_paths.cpp PROPERTIES
                            COMPILE_DEFINITIONS "KX_INSTALL_DATADIR=\"/data\"")

# The data directory as the page preloads it: the generated data without a developer's scores,
# and the shipped record table in their place.
set(KX_WEB_DATA ${CMAKE_BINARY_DIR}/webdata)
add_custom_command(
  OUTPUT ${KX_WEB_DATA}/.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KX_WEB_DATA}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${KX_NATIVE_DATA} ${KX_WEB_DATA}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${KX_WEB_DATA}/.stamp ${KX_WEB_DATA}/rec.kbx
  COMMAND ${CMAKE_COMMAND} -E copy ${KX_SHIPPED_RECORDS} ${KX_WEB_DATA}/rec.kbx
  COMMAND ${CMAKE_COMMAND} -E touch ${KX_WEB_DATA}/.stamp
  DEPENDS ${KX_NATIVE_DATA}/.stamp ${KX_SHIPPED_RECORDS}
  COMMENT "Gathering the page's data")
add_custom_target(kx_web_data DEPENDS ${KX_WEB_DATA}/.stamp)

add_executable(kobaltix src/web_main.cpp)
target_link_libraries(kobaltix PRIVATE kx_game)
add_dependencies(kobaltix kx_web_data)
set_target_properties(kobaltix PROPERTIES OUTPUT_NAME kobaltix SUFFIX ".js"
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_options(kobaltix PRIVATE
  -O2 -fexceptions -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536
  "-sASYNCIFY_IMPORTS=['kx_wait_paint','kx_keep_folder','kx_decode_jpeg','kx_zlib']" -sALLOW_MEMORY_GROWTH -sINITIAL_MEMORY=64MB
  -sFORCE_FILESYSTEM -lidbfs.js -sENVIRONMENT=web
  -sEXPORTED_RUNTIME_METHODS=FS,callMain -sEXIT_RUNTIME=0
  "SHELL:--preload-file ${KX_WEB_DATA}@/data" "SHELL:--exclude-file ${KX_WEB_DATA}/.stamp")
set_property(TARGET kobaltix APPEND PROPERTY LINK_DEPENDS ${KX_WEB_DATA}/.stamp)

# The page and the faces its texts are drawn in (the same files the native build finds through
# fontconfig).
set(KX_FONT_FILES /usr/share/fonts/truetype/comfortaa/Comfortaa-Regular.ttf
    /usr/share/fonts/truetype/comfortaa/Comfortaa-Bold.ttf
    /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/index.html ${CMAKE_BINARY_DIR}/fonts/.stamp
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/web/index.html ${CMAKE_BINARY_DIR}/index.html
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/fonts
  COMMAND ${CMAKE_COMMAND} -E copy ${KX_FONT_FILES} ${CMAKE_BINARY_DIR}/fonts/
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/fonts/.stamp
  DEPENDS ${CMAKE_SOURCE_DIR}/web/index.html ${KX_FONT_FILES})
add_custom_target(kx_page ALL DEPENDS ${CMAKE_BINARY_DIR}/index.html ${CMAKE_BINARY_DIR}/fonts/.stamp)
