# Browser check: every view rendered by the test program, opened in Chromium (headless,
# offline) and saved as PNG screenshots under <build>/screenshots.
find_program(LARKEDI_NODE node)
find_program(LARKEDI_CHROMIUM NAMES chromium chromium-browser)
if(LARKEDI_NODE AND LARKEDI_CHROMIUM AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/browser/node_modules/playwright-core)
  add_test(NAME browser.screenshots
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/screenshots.js
            $<TARGET_FILE:larkedi_tests> ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(browser.screenshots PROPERTIES TIMEOUT 300
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM}")
else()
  message(WARNING "node, chromium or tests/browser/node_modules is missing (run scripts/install-deps): "
                  "the browser screenshot test is not registered")
endif()
