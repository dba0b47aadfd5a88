# Run by cpack on the installed files before it packs them: Debian wants the manual pages and
# the changelog compressed with gzip -9n (no name or time stamp inside, so that two builds of
# the same source give the same bytes), and lintian finds its overrides in the package itself.
set(root ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})

function(gzip_in_place file)
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endfunction()

file(GLOB pages ${root}/share/man/man*/*.[1-9])
if(NOT pages)
  message(FATAL_ERROR "no manual pages under ${root}/share/man")
endif()
foreach(page IN LISTS pages)
  gzip_in_place(${page})
endforeach()

set(debian ${CPACK_KESTRIX_DEBIAN_DIR})
set(changelog ${root}/share/doc/kestrix/changelog.Debian)
set(overrides ${root}/share/lintian/overrides/kestrix)
file(MAKE_DIRECTORY ${root}/share/lintian/overrides)
file(COPY_FILE ${debian}/changelog ${changelog})
file(COPY_FILE ${debian}/lintian-overrides ${overrides})
file(CHMOD ${changelog} ${overrides} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
gzip_in_place(${changelog})
