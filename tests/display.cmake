# What a user sees and touches: the real program on a private X server with a
# window manager, driven with real pointer and key input.
sonabel_add_test(window_display_test DISPLAY SOURCES window_display_test.cpp TIMEOUT 120)
# The player in a Wayland session: weston's headless compositor, with and
# without XWayland.
sonabel_add_test(wayland_test DISPLAY SOURCES wayland_test.cpp TIMEOUT 120 LABELS wayland)
