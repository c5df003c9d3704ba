# Fails when a layer of the repository includes a header of a layer above it, naming the
# file and the line. Run as: cmake -DSRC=<repository> -P CheckLayers.cmake
#
# Each layer is a folder with a rank; a file may include its own layer and layers of a lower
# rank, never a higher one nor another layer of the same rank. A file belongs to the layer of
# the longest folder that holds it, so platform/mapi/store is not plain platform/mapi.
# docs/ARCHITECTURE.md shows the same table; change both together.
cmake_minimum_required(VERSION 3.25)
set(krv_layers
  "pstformat 0"               # on-disk facts of the file format
  "resources 0"               # string tables by id
  "platform/os 1"             # file errors, code pages, temp files, system facts
  "platform/mapi 2"           # plain messaging data: allocator, SPropValue, tags, row tables
  "platform/storage 3"        # compound files behind IStorage
  "platform/pst/ndb 4"        # the .pst writer: node database (blocks, B-trees, maps)
  "platform/pst/ltp 5"        #   heaps, BTHs, property and table contexts in its nodes
  "platform/pst/messaging 6"  #   the store's folders, messages, attachments, names
  "platform/mapi/store 7"     # message store, folder and message objects over the writer
  "platform/mapi/session 8"   # profiles, message services, sessions
  "engine/file 9"
  "engine/reader 10"
  "engine/items 11"
  "engine/output 12"
  "engine/recovery 13"
  "engine/job 14"
  "cli 15"
  "frontend 15"
  # Each tool and each benchmark is a folder of its own (tools/krv-inspect, bench/scan):
  # one does not include another's headers.
  "tools 16"
  "bench 16"
  "fuzz 16"
  # The suite tests every layer, the developer tools' and the fuzz targets' own code too.
  "tests 17")
set(krv_per_subfolder tools bench)

# Includes against the order that are known and tolerated until they are moved; each entry
# is "file -> header", so that a new one fails. The fuzz targets build their inputs with the
# test suite's byte builders.
set(krv_tolerated
  "fuzz/BlockTreeFuzzEntry.cpp -> tests/reader/TestReaderHost.h"
  "fuzz/ItemFuzzEntries.cpp -> tests/items/ItemImage.h"
  "fuzz/ItemFuzzEntries.cpp -> tests/reader/TestReaderHost.h"
  "fuzz/ItemSeedMaker.cpp -> tests/support/CorpusFiles.h"
  "fuzz/RecoveryFuzzEntry.cpp -> tests/platform/ScopedEnv.h"
  "fuzz/ItemSeedMaker.cpp -> tests/support/StrictPstWalker.h"
  "fuzz/ScanFuzzEntry.cpp -> tests/reader/ReferenceScan.h"
  "fuzz/ScanFuzzEntry.cpp -> tests/reader/TestReaderHost.h"
  "fuzz/SeedMaker.cpp -> tests/reader/BlockImageBuilder.h"
  "fuzz/SeedMaker.cpp -> tests/reader/ScanPlanting.h"
  "fuzz/SeedMaker.cpp -> tests/support/CorpusFiles.h"
  "fuzz/SeedMaker.cpp -> tests/support/StrictPstWalker.h")

if(NOT SRC OR NOT IS_DIRECTORY "${SRC}/engine")
  message(FATAL_ERROR "give the repository as -DSRC=...")
endif()

# The layer of a path relative to SRC, as its folder and rank ("" when it is in none).
function(krv_layer_of path out_folder out_rank)
  set(best_folder "")
  set(best_rank "")
  set(best_length 0)
  foreach(entry ${krv_layers})
    string(REPLACE " " ";" pair "${entry}")
    list(GET pair 0 folder)
    list(GET pair 1 rank)
    string(LENGTH "${folder}" length)
    string(FIND "${path}" "${folder}/" at)
    if(at EQUAL 0 AND length GREATER best_length)
      set(best_folder ${folder})
      set(best_rank ${rank})
      set(best_length ${length})
    endif()
  endforeach()
  if(best_folder IN_LIST krv_per_subfolder AND path MATCHES "^${best_folder}/([^/]+)/")
    set(best_folder "${best_folder}/${CMAKE_MATCH_1}")
  endif()
  set(${out_folder} "${best_folder}" PARENT_SCOPE)
  set(${out_rank} "${best_rank}" PARENT_SCOPE)
endfunction()

# The 1-based line of the first line of FILE that is exactly TEXT.
function(krv_line_of file text out)
  file(READ "${file}" content)
  string(FIND "${content}" "${text}" at)
  string(SUBSTRING "${content}" 0 ${at} before)
  string(REGEX MATCHALL "\n" newlines "${before}")
  list(LENGTH newlines count)
  math(EXPR line "${count} + 1")
  set(${out} ${line} PARENT_SCOPE)
endfunction()

# Every source under the layers' top folders, so that a new folder the table does not know
# fails instead of going unchecked.
set(globs "")
foreach(entry ${krv_layers})
  string(REGEX REPLACE "^([^/ ]+).*" "\\1" top "${entry}")
  foreach(ext h hpp cpp cc c inc)
    list(APPEND globs "${SRC}/${top}/*.${ext}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES globs)
file(GLOB_RECURSE sources ${globs})
list(REMOVE_DUPLICATES sources)

set(problems "")
set(checked 0)
foreach(source ${sources})
  file(RELATIVE_PATH name "${SRC}" "${source}")
  krv_layer_of("${name}" from from_rank)
  if(from STREQUAL "")
    list(APPEND problems "${name}: is in no layer of tests/CheckLayers.cmake")
    continue()
  endif()
  get_filename_component(dir "${source}" DIRECTORY)
  file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
    # The compiler looks beside the including file first, then at the repository root;
    # what is in neither is generated (moc, uic) and belongs to its includer.
    if(EXISTS "${dir}/${header}")
      file(RELATIVE_PATH target "${SRC}" "${dir}/${header}")
    elseif(EXISTS "${SRC}/${header}")
      set(target "${header}")
    else()
      continue()
    endif()
    math(EXPR checked "${checked} + 1")
    krv_layer_of("${target}" to to_rank)
    if(to STREQUAL from OR to STREQUAL "")
      continue()
    endif()
    set(reason "")
    if(from MATCHES "^engine/" AND to MATCHES "^platform/pst/")
      # The engine reaches the writer only through the messaging objects, as it would
      # reach Outlook's own store provider.
      set(reason "the engine never includes platform/pst")
    elseif(to_rank GREATER from_rank)
      set(reason "${to} is above ${from}")
    elseif(to_rank EQUAL from_rank)
      set(reason "${to} and ${from} are side by side")
    endif()
    if(reason AND "${name} -> ${target}" IN_LIST krv_tolerated)
      set(reason "")
    endif()
    if(reason)
      krv_line_of("${source}" "${line}" at)
      list(APPEND problems "${name}:${at}: includes ${header}: ${reason}")
    endif()
  endforeach()
endforeach()

list(LENGTH sources count)
# A check that finds nothing to read passes vacuously; the tree has hundreds of sources.
if(count LESS 300 OR checked LESS 1000)
  message(FATAL_ERROR "read only ${count} sources and ${checked} includes under ${SRC}")
endif()
if(problems)
  string(REPLACE ";" "\n  " text "${problems}")
  message(FATAL_ERROR "includes against the layer order:\n  ${text}")
endif()
message(STATUS "${checked} includes in ${count} sources keep to the layer order")
