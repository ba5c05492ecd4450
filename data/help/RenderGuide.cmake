# Writes the user guide with a figure for every screenshot that exists:
#   cmake -DSOURCE=Help.html -DPICTURES=docs -DOUTPUT=bin/Help.html -P RenderGuide.cmake
# A marker <!--FIGURE:name:caption--> becomes a figure showing help/name.png
# when PICTURES/name.png exists, and disappears otherwise. The width
# attribute keeps simple HTML viewers from showing the picture at odd sizes.
file(READ ${SOURCE} guide)
string(REGEX MATCHALL "<!--FIGURE:[a-z0-9-]+:[^>]*-->" markers "${guide}")
foreach(marker ${markers})
  string(REGEX REPLACE "<!--FIGURE:([a-z0-9-]+):([^>]*)-->" "\\1" name "${marker}")
  string(REGEX REPLACE "<!--FIGURE:([a-z0-9-]+):([^>]*)-->" "\\2" caption "${marker}")
  set(figure "")
  if(EXISTS ${PICTURES}/${name}.png)
    # Shown at its own width (from the PNG header), at most 720 pixels.
    file(READ ${PICTURES}/${name}.png width OFFSET 16 LIMIT 4 HEX)
    math(EXPR width "0x${width}")
    if(width GREATER 720)
      set(width 720)
    endif()
    set(figure "<figure><p><img src=\"help/${name}.png\" width=\"${width}\" alt=\"${caption}\"></p><figcaption>${caption}</figcaption></figure>")
  endif()
  string(REPLACE "${marker}" "${figure}" guide "${guide}")
endforeach()
file(WRITE ${OUTPUT} "${guide}")
