# Fails the firmware build when the image (a raw binary, IMAGE) holds the three bytes "!!!":
# the Mega's stock bootloader takes them for its monitor's trigger while it is being flashed.
#   cmake -DIMAGE=valdora-mega.bin -P check_image.cmake
file(READ "${IMAGE}" image HEX)
set(from 0)
string(FIND "${image}" "212121" at)
while(at GREATER -1)
  math(EXPR at "${from} + ${at}")
  math(EXPR odd "${at} % 2")
  if(odd EQUAL 0) # on a byte boundary
    math(EXPR address "${at} / 2" OUTPUT_FORMAT HEXADECIMAL)
    message(FATAL_ERROR "the firmware image holds the bytes \"!!!\" at ${address}: the Mega's "
                        "bootloader would drop into its monitor while flashing it. Change the "
                        "text or data that holds them.")
  endif()
  math(EXPR from "${at} + 1")
  string(SUBSTRING "${image}" ${from} -1 rest)
  string(FIND "${rest}" "212121" at)
endwhile()
