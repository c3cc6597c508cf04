# Includes point down the layers (scripts/check-layers); the check itself is checked too.
add_test(NAME layers.includes COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/layers/check_layers_test.sh)
