# Run by CPack on its staging folder before packing: Debian ships man pages gzipped
# (-9n: no name or time stamp, so the same page gives the same bytes).
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.1")
foreach(page ${pages})
  if(page MATCHES "/man/man1/")
    execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip failed on ${page}")
    endif()
  endif()
endforeach()
