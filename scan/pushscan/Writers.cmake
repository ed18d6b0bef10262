# The page writers of the scan-button program: pictures, metafiles, TIFF and the two PDF writers.
add_library(pushscan_writers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/JpegPdf.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PdfStreamWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PictureWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WriterSupport.cpp
)
target_include_directories(pushscan_writers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
find_package(TIFF REQUIRED)
target_link_libraries(pushscan_writers PUBLIC platform PRIVATE TIFF::TIFF)
mfp_warnings(pushscan_writers)
