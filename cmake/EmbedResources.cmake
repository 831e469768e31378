# elo_embed_resources(<target> TYPE <type> FILES <file>... [NAMES <name>...])
# Compiles the files into <target> and registers each under (type, name) at
# start-up; the name defaults to the file name without directory and extension,
# in upper case. The program finds them with elo::FindResource.
set(ELO_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed.cmake)

function(elo_embed_resources target)
  cmake_parse_arguments(ARG "" "TYPE" "FILES;NAMES" ${ARGN})
  set(names "")
  set(index 0)
  foreach(file IN LISTS ARG_FILES)
    list(LENGTH ARG_NAMES count)
    if(index LESS count)
      list(GET ARG_NAMES ${index} name)
    else()
      get_filename_component(name ${file} NAME_WE)
      string(TOUPPER ${name} name)
    endif()
    list(APPEND names ${name})
    math(EXPR index "${index} + 1")
  endforeach()
  string(REPLACE ";" "|" files_arg "${ARG_FILES}")
  string(REPLACE ";" "|" names_arg "${names}")
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources_${ARG_TYPE}.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DTYPE=${ARG_TYPE} -DFILES=${files_arg} -DNAMES=${names_arg}
            -P ${ELO_EMBED_SCRIPT}
    DEPENDS ${ARG_FILES} ${ELO_EMBED_SCRIPT}
    COMMENT "Embedding ${ARG_TYPE} resources into ${target}")
  target_sources(${target} PRIVATE ${out})
  target_link_libraries(${target} PRIVATE elo_platform)
endfunction()
