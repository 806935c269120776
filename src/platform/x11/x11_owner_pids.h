#pragma once

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace tillory::platform::nix {

/// The process that owns each window, asked of the server through the X-Resource extension (for clients that do
/// not state their pid: xlogo, many older X programs); 0 where the server cannot tell. One round trip for all of
/// them. The caller has checked that the server offers X-Resource 1.2.
inline std::vector<std::int32_t> ownerPids(xcb_connection_t* c, const std::vector<xcb_window_t>& windows) {
    std::vector<xcb_res_query_client_ids_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (const xcb_window_t window : windows) {
        const xcb_res_client_id_spec_t wanted{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        cookies.push_back(xcb_res_query_client_ids(c, 1, &wanted));
    }
    std::vector<std::int32_t> pids(windows.size(), 0);
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        const std::unique_ptr<xcb_res_query_client_ids_reply_t, decltype(&std::free)> reply(
            xcb_res_query_client_ids_reply(c, cookies[i], nullptr), &std::free);
        if (!reply) {
            continue;
        }
        for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem > 0;
             xcb_res_client_id_value_next(&ids)) {
            if ((ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 &&
                xcb_res_client_id_value_value_length(ids.data) > 0) {
                pids[i] = static_cast<std::int32_t>(*xcb_res_client_id_value_value(ids.data));
            }
        }
    }
    return pids;
}

} // namespace tillory::platform::nix
