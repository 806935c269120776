# sway's IPC and what is built on it: the window list, the front application and the window elements.
tillory_add_linux_library(tillory_wayland_sway
    SOURCES
        sway_ipc.cpp sway_ipc.h
        sway_tree.cpp sway_tree.h
        sway_window_elements.cpp sway_window_elements.h
        sway_window_list.cpp sway_window_list.h
        sway_workspace.cpp sway_workspace.h)
target_link_libraries(tillory_wayland_sway PUBLIC Qt6::Network tillory_linux_entries)

# The framing and the tree without a compositor: a scripted socket stands in for sway.
tillory_add_test(tillory_platform_sway_unit_tests
    SOURCES tests/sway_ipc_test.cpp tests/sway_tree_test.cpp
    DEPENDS tillory_wayland_sway)

# Against a real headless sway, with the test program itself as the client windows.
tillory_add_sway_test(tillory_platform_sway_tests
    SOURCES tests/sway_desktop_test.cpp
    DEPENDS tillory_wayland_sway)
