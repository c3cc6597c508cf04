# Browser checks in Chromium (headless, offline, fresh profile):
#  - browser.screenshots: every view rendered by the test program, saved as PNG screenshots
#    under <build>/screenshots;
#  - browser.window: the main window page driven against larkedi-window-harness;
#  - browser.stack_window: the order stack page of `larkedi activate` on a throw-away module;
#  - browser.attach_window: attached files, an order's detail and print on that page.
#  - browser.status_window: the order status views against the partner simulator.
#  - browser.settings_window: the settings and partner pages of `larkedi show`.
# Each check has a runtime folder and registry of its own: the window is one per user (its
# lock and tag live in the runtime folder) and the checks run side by side.
find_program(LARKEDI_NODE node)
find_program(LARKEDI_CHROMIUM NAMES chromium chromium-browser)
if(LARKEDI_NODE AND LARKEDI_CHROMIUM AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/browser/node_modules/playwright-core)
  add_test(NAME browser.screenshots
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/screenshots.js
            $<TARGET_FILE:larkedi_tests> ${CMAKE_BINARY_DIR}/screenshots)
  set_tests_properties(browser.screenshots PROPERTIES TIMEOUT 300
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM};LARKEDI_REGISTRY_DIR=${CMAKE_BINARY_DIR}/browser-run/screenshots/registry;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/browser-run/screenshots")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/browser-run/screenshots)
  add_test(NAME browser.window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/window.js
            $<TARGET_FILE:larkedi-window-harness>)
  set_tests_properties(browser.window PROPERTIES TIMEOUT 180
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM};LARKEDI_MODULE_DIR=${LARKEDI_MODULE_OUT};LARKEDI_REGISTRY_DIR=${CMAKE_BINARY_DIR}/browser-run/window/registry;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/browser-run/window")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/browser-run/window)
  add_test(NAME browser.stack_window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/stack_window.js
            $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT})
  set_tests_properties(browser.stack_window PROPERTIES TIMEOUT 180
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM};LARKEDI_REGISTRY_DIR=${CMAKE_BINARY_DIR}/browser-run/stack_window/registry;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/browser-run/stack_window")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/browser-run/stack_window)
  # Attached files through the window's picker, an order's detail and print, right clicks,
  # a remove answered Yes, on `larkedi activate` with two stacked designs.
  add_test(NAME browser.attach_window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/attach_window.js
            $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT})
  set_tests_properties(browser.attach_window PROPERTIES TIMEOUT 180
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM};LARKEDI_REGISTRY_DIR=${CMAKE_BINARY_DIR}/browser-run/attach_window/registry;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/browser-run/attach_window")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/browser-run/attach_window)
  # browser.send_window: the send button of `larkedi activate` against the partner
  # simulator's gateway (password dialog, progress rows, each order received once).
  add_test(NAME browser.send_window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/send_window.js
            $<TARGET_FILE:larkedi> $<TARGET_FILE:larkedi-partner-sim> ${LARKEDI_MODULE_OUT})
  set_tests_properties(browser.send_window PROPERTIES TIMEOUT 180
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM};LARKEDI_REGISTRY_DIR=${CMAKE_BINARY_DIR}/browser-run/send_window/registry;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/browser-run/send_window")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/browser-run/send_window)
  add_test(NAME browser.status_window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/status_window.js
            $<TARGET_FILE:larkedi> $<TARGET_FILE:larkedi-partner-sim> ${LARKEDI_MODULE_OUT})
  set_tests_properties(browser.status_window PROPERTIES TIMEOUT 180
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM};LARKEDI_REGISTRY_DIR=${CMAKE_BINARY_DIR}/browser-run/status_window/registry;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/browser-run/status_window")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/browser-run/status_window)
  # The settings, partner list and partner pages of `larkedi show`, with the partner
  # simulator as the partner web service.
  add_test(NAME browser.settings_window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/settings_window.js
            $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT} $<TARGET_FILE:larkedi-partner-sim>)
  set_tests_properties(browser.settings_window PROPERTIES TIMEOUT 240
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM};LARKEDI_REGISTRY_DIR=${CMAKE_BINARY_DIR}/browser-run/settings_window/registry;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/browser-run/settings_window")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/browser-run/settings_window)
  # The window's shell: single instance, keys, help, script errors, the browser killed.
  add_test(NAME browser.shell_window
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/shell_window.js
            $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT})
  set_tests_properties(browser.shell_window PROPERTIES TIMEOUT 180
    ENVIRONMENT "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM};LARKEDI_REGISTRY_DIR=${CMAKE_BINARY_DIR}/browser-run/shell_window/registry;XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/browser-run/shell_window")
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/browser-run/shell_window)
else()
  message(WARNING "node, chromium or tests/browser/node_modules is missing (run scripts/install-deps): "
                  "the browser tests are not registered")
endif()
