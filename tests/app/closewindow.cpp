/* closewindow NAME [--mapped]: as soon as a top-level window named NAME
 * exists (with --mapped: is mapped), asks it to close as a window manager
 * would (WM_DELETE_WINDOW) and prints its id. Gives up after a minute. */
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

static xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), NULL);
    xcb_atom_t a = reply ? reply->atom : XCB_ATOM_NONE;
    free(reply);
    return a;
}

static int matches(xcb_connection_t *c, xcb_window_t w, const char *name, int mapped)
{
    xcb_get_property_reply_t *title = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), NULL);
    int found = title && xcb_get_property_value_length(title) == static_cast<int>(strlen(name))
        && memcmp(xcb_get_property_value(title), name, strlen(name)) == 0;
    free(title);
    if (found && mapped) {
        xcb_get_window_attributes_reply_t *a =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), NULL);
        found = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        free(a);
    }
    return found;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const int mapped = argc > 2 && strcmp(argv[2], "--mapped") == 0;
    xcb_connection_t *c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c))
        return 2;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    for (int tries = 0; tries < 30000; ++tries) {
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), NULL);
        const xcb_window_t *children = tree ? xcb_query_tree_children(tree) : NULL;
        const int count = tree ? xcb_query_tree_children_length(tree) : 0;
        for (int i = 0; i < count; ++i) {
            if (!matches(c, children[i], argv[1], mapped))
                continue;
            xcb_client_message_event_t event;
            memset(&event, 0, sizeof event);
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = children[i];
            event.type = atom(c, "WM_PROTOCOLS");
            event.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
            event.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(c, 0, children[i], XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
            // A round trip: the server has the request before the connection goes.
            free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
            printf("0x%x\n", children[i]);
            free(tree);
            xcb_disconnect(c);
            return 0;
        }
        free(tree);
        usleep(2000);
    }
    return 1;
}
