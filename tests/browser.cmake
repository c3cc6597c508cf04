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
# browser.<name>: node browser/<name>.js <args...> with its own runtime folder and registry
# under <build>/browser-run/<name>; ENV adds variables before those two.
function(larkedi_browser_test name timeout)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "ARGS;ENV")
  set(run_dir ${CMAKE_BINARY_DIR}/browser-run/${name})
  add_test(NAME browser.${name}
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/${name}.js ${ARG_ARGS})
  set(env "LARKEDI_CHROMIUM=${LARKEDI_CHROMIUM}" ${ARG_ENV}
      "LARKEDI_REGISTRY_DIR=${run_dir}/registry" "XDG_RUNTIME_DIR=${run_dir}")
  set_tests_properties(browser.${name} PROPERTIES TIMEOUT ${timeout} ENVIRONMENT "${env}")
  file(MAKE_DIRECTORY ${run_dir})
endfunction()

if(LARKEDI_NODE AND LARKEDI_CHROMIUM AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/browser/node_modules/playwright-core)
  larkedi_browser_test(screenshots 300
    ARGS $<TARGET_FILE:larkedi_tests> ${CMAKE_BINARY_DIR}/screenshots)
  larkedi_browser_test(window 180
    ARGS $<TARGET_FILE:larkedi-window-harness> ENV LARKEDI_MODULE_DIR=${LARKEDI_MODULE_OUT})
  larkedi_browser_test(stack_window 180 ARGS $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT})
  # Attached files through the window's picker, an order's detail and print, right clicks,
  # a remove answered Yes, on `larkedi activate` with two stacked designs.
  larkedi_browser_test(attach_window 180 ARGS $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT})
  # browser.send_window: the send button of `larkedi activate` against the partner
  # simulator's gateway (password dialog, progress rows, each order received once).
  larkedi_browser_test(send_window 180
    ARGS $<TARGET_FILE:larkedi> $<TARGET_FILE:larkedi-partner-sim> ${LARKEDI_MODULE_OUT})
  larkedi_browser_test(status_window 180
    ARGS $<TARGET_FILE:larkedi> $<TARGET_FILE:larkedi-partner-sim> ${LARKEDI_MODULE_OUT})
  # The settings, partner list and partner pages of `larkedi show`, with the partner
  # simulator as the partner web service.
  larkedi_browser_test(settings_window 240
    ARGS $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT} $<TARGET_FILE:larkedi-partner-sim>)
  # The window's shell: single instance, keys, help, script errors, the browser killed.
  larkedi_browser_test(shell_window 180 ARGS $<TARGET_FILE:larkedi> ${LARKEDI_MODULE_OUT})
else()
  message(WARNING "node, chromium or tests/browser/node_modules is missing (run scripts/install-deps): "
                  "the browser tests are not registered")
endif()
