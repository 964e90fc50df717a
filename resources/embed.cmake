# sphaerix_embed(TARGET NAME1 FILE1 NAME2 FILE2 ...)
# Builds a static library whose assembly includes each file's bytes in place (.incbin) and
# a table of {name, data, size} under the C symbols sphaerix_resources and
# sphaerix_resource_count. The bytes stay in read-only data; nothing is copied at run time.
function(sphaerix_embed target)
  set(asm "${CMAKE_CURRENT_BINARY_DIR}/${target}_blobs.S")
  set(blobs "")
  set(names "")
  set(table "")
  set(deps "")
  set(i 0)
  list(LENGTH ARGN n)
  while(i LESS n)
    list(GET ARGN ${i} name)
    math(EXPR j "${i} + 1")
    list(GET ARGN ${j} file)
    math(EXPR k "${i} / 2")
    string(APPEND blobs "  .balign 16\nsphaerix_blob_${k}:\n  .incbin \"${file}\"\nsphaerix_blob_${k}_end:\n")
    string(APPEND names "sphaerix_name_${k}:\n  .asciz \"${name}\"\n")
    string(APPEND table "  .quad sphaerix_name_${k}, sphaerix_blob_${k}, sphaerix_blob_${k}_end - sphaerix_blob_${k}\n")
    list(APPEND deps "${file}")
    math(EXPR i "${i} + 2")
  endwhile()
  math(EXPR count "${n} / 2")
  file(CONFIGURE OUTPUT "${asm}" CONTENT
"  .section .rodata.sphaerix_blobs,\"a\",@progbits
${blobs}
  .section .rodata.sphaerix_names,\"a\",@progbits
${names}
  .section .data.rel.ro,\"aw\",@progbits
  .balign 8
  .globl sphaerix_resources
sphaerix_resources:
${table}
  .section .rodata,\"a\",@progbits
  .balign 4
  .globl sphaerix_resource_count
sphaerix_resource_count:
  .long ${count}
  .section .note.GNU-stack,\"\",@progbits
" @ONLY)
  add_library(${target} STATIC "${asm}")
  set_source_files_properties("${asm}" PROPERTIES OBJECT_DEPENDS "${deps}")
endfunction()
