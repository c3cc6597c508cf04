# Browser checks in Chromium (headless, offline, fresh profile):
#  - browser.screenshots: every view rendered by the test program, saved as PNG screenshots
#    under <build>/screenshots;
#  - browser.window: the main window page driven against larkedi-window-harness;
#  - browser.stack_window: the order stack page of `larkedi activate` on a throw-away module.
find_program(LARKEDI_NODE node)
find_program(LARKEDI_CHROMIUM NAMES chromium chromium-browser)
if(LARKEDI_NODE AND LARKEDI_CHROMIUM AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/browser/node_modules/playwright-core)
  add_test(NAME browser.screenshots
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/screenshots.js
            $<TARGET_FILE:larkedi_tests> ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(browser.screenshots PROPERTIES TIMEOUT 300
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM}")
  add_test(NAME browser.window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/window.js
            $<TARGET_FILE:larkedi-window-harness>)
  set_tests_properties(browser.window PROPERTIES TIMEOUT 180
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM};LARKEDI_MODULE_DIR=${LARKEDI_MODULE_OUT}")
  add_test(NAME browser.stack_window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/stack_window.js
            $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT})
  set_tests_properties(browser.stack_window PROPERTIES TIMEOUT 180
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM}")
  # The window's shell: single instance, keys, help, script errors, the browser killed.
  add_test(NAME browser.shell_window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/shell_window.js
            $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT})
  set_tests_properties(browser.shell_window PROPERTIES TIMEOUT 180
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM}")
else()
  message(WARNING "node, chromium or tests/browser/node_modules is missing (run scripts/install-deps): "
                  "the browser tests are not registered")
endif()
