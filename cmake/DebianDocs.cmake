# Run by cpack on the staged files before it builds the package: gives the documentation
# Debian's layout. The manual page and the change log are compressed without a time stamp,
# and the licence becomes the copyright file. `cmake --install` keeps the plain files.
set(stage ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
set(doc ${stage}/${CPACK_QUILLBROOK_DOC_DIR})
if(NOT EXISTS ${doc}/LICENSE OR NOT EXISTS ${stage}/${CPACK_QUILLBROOK_MAN_PAGE})
  message(FATAL_ERROR "DebianDocs: the staged files are not where expected under ${stage}")
endif()

file(RENAME ${doc}/LICENSE ${doc}/copyright)
file(WRITE ${doc}/changelog
  "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
  "  * Release ${CPACK_PACKAGE_VERSION}.\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${CPACK_QUILLBROOK_DATE}\n")
foreach(file ${doc}/changelog ${stage}/${CPACK_QUILLBROOK_MAN_PAGE})
  execute_process(COMMAND gzip -9n ${file} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "DebianDocs: gzip ${file} failed")
  endif()
endforeach()
