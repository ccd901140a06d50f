# The image decoder's header: Debian's stb_image.h (libstb-dev) with the faults that fuzzing
# it found mended, written to the build tree as stb/stb_image.h. Included from
# src/CMakeLists.txt with TRELLIS_STB_INCLUDE_DIR set; sets TRELLIS_STB_IMAGE_DIR, the
# folder to put on the decoder's include path.
#
# Each mend replaces one exact passage of the header. A header that already holds the mended
# text is taken as it is; one that holds neither (a new version of the package) stops the
# configuration, so that the mends are looked at again instead of silently lost.
set(stb_source ${TRELLIS_STB_INCLUDE_DIR}/stb_image.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${stb_source} ${CMAKE_CURRENT_LIST_FILE})
file(READ ${stb_source} stb_text)

function(stb_mend what old new)
    string(FIND "${stb_text}" "${new}" mended)
    if(NOT mended EQUAL -1)
        return()
    endif()
    string(FIND "${stb_text}" "${old}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "${stb_source}: the passage to mend (${what}) is not there; "
                            "check the mends of cmake/stb_image.cmake against this version")
    endif()
    string(REPLACE "${old}" "${new}" stb_text "${stb_text}")
    set(stb_text "${stb_text}" PARENT_SCOPE)
endfunction()

# A JPEG Huffman table whose 16 code counts add up to more than 256 wrote past the table's
# 257 sizes and 256 values into the decoder's other state.
stb_mend("JPEG Huffman table of more than 256 codes"
[==[            for (i=0; i < 16; ++i) {
               sizes[i] = stbi__get8(z->s);
               n += sizes[i];
            }
            L -= 17;]==]
[==[            for (i=0; i < 16; ++i) {
               sizes[i] = stbi__get8(z->s);
               n += sizes[i];
            }
            if(n > 256) return stbi__err("bad DHT header","Corrupt JPEG"); // Loop over i < n would write past end of values!
            L -= 17;]==])

# A PNG chunk of length 0 (an empty IDAT first of all) copies 0 bytes into a buffer not yet
# allocated: memcpy with a null destination, undefined even for no bytes.
stb_mend("copy of no bytes into no buffer"
[==[   if (s->img_buffer+n <= s->img_buffer_end) {
      memcpy(buffer, s->img_buffer, n);]==]
[==[   if (s->img_buffer+n <= s->img_buffer_end) {
      if (n > 0) memcpy(buffer, s->img_buffer, n);]==])

# Written only when it changes, so that configuring again rebuilds nothing.
set(TRELLIS_STB_IMAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/stb)
set(stb_output ${TRELLIS_STB_IMAGE_DIR}/stb_image.h)
set(stb_old_text "")
if(EXISTS ${stb_output})
    file(READ ${stb_output} stb_old_text)
endif()
if(NOT stb_old_text STREQUAL stb_text)
    file(WRITE ${stb_output} "${stb_text}")
endif()
