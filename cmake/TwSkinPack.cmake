# cmake -DTW_SKIN_FOLDER=.. -DTW_SKIN_IMAGES=.. -DTW_SKIN_STAGE=.. -DTW_SKIN_ZIP=.. -P TwSkinPack.cmake
# Build step of tw_embed_skin (TwSkin.cmake): gathers the files of one skin archive in a staging
# folder and zips it. TW_SKIN_IMAGES, when set, is the folder of generated images (listed in its
# .images.txt); the skin folder's sources (src/) and notes (*.md) then stay out of the archive.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${TW_SKIN_STAGE}")
file(MAKE_DIRECTORY "${TW_SKIN_STAGE}")
file(GLOB_RECURSE files RELATIVE "${TW_SKIN_FOLDER}" "${TW_SKIN_FOLDER}/*")
set(names "")
foreach(f IN LISTS files)
  if(TW_SKIN_IMAGES AND (f MATCHES "^src/" OR f MATCHES "\\.md$"))
    continue()
  endif()
  get_filename_component(dir "${TW_SKIN_STAGE}/${f}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${TW_SKIN_FOLDER}/${f}" "${TW_SKIN_STAGE}/${f}")
  list(APPEND names "${f}")
endforeach()

if(TW_SKIN_IMAGES)
  file(STRINGS "${TW_SKIN_IMAGES}/.images.txt" images)
  foreach(f IN LISTS images)
    if(f IN_LIST names)
      # A hand-made file of the same name in the skin folder would silently lose to the generator.
      message(FATAL_ERROR "skin: ${f} is both a file of ${TW_SKIN_FOLDER} and a generated image")
    endif()
    get_filename_component(dir "${TW_SKIN_STAGE}/${f}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    file(COPY_FILE "${TW_SKIN_IMAGES}/${f}" "${TW_SKIN_STAGE}/${f}")
    list(APPEND names "${f}")
  endforeach()
endif()

list(SORT names)
file(REMOVE "${TW_SKIN_ZIP}")
if(names)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${TW_SKIN_ZIP}" --format=zip -- ${names}
                  WORKING_DIRECTORY "${TW_SKIN_STAGE}" RESULT_VARIABLE rc)
else()
  # An empty folder still gives a valid (empty) archive.
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${TW_SKIN_ZIP}" --format=zip --files-from=/dev/null
                  WORKING_DIRECTORY "${TW_SKIN_STAGE}" RESULT_VARIABLE rc)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "skin: cannot write ${TW_SKIN_ZIP}")
endif()
