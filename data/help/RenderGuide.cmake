# Writes the user guide with a figure for every screenshot that exists:
#   cmake -DSOURCE=Help.html -DPICTURES=docs -DOUTPUT=bin/Help.html -P RenderGuide.cmake
# A marker <!--FIGURE:name:caption--> becomes a figure showing help/name.png
# when PICTURES/name.png exists, and disappears otherwise.
file(READ ${SOURCE} guide)
string(REGEX MATCHALL "<!--FIGURE:[a-z0-9-]+:[^>]*-->" markers "${guide}")
foreach(marker ${markers})
  string(REGEX REPLACE "<!--FIGURE:([a-z0-9-]+):([^>]*)-->" "\\1" name "${marker}")
  string(REGEX REPLACE "<!--FIGURE:([a-z0-9-]+):([^>]*)-->" "\\2" caption "${marker}")
  set(figure "")
  if(EXISTS ${PICTURES}/${name}.png)
    set(figure "<figure><img src=\"help/${name}.png\" alt=\"${caption}\"><figcaption>${caption}</figcaption></figure>")
  endif()
  string(REPLACE "${marker}" "${figure}" guide "${guide}")
endforeach()
file(WRITE ${OUTPUT} "${guide}")
