#pragma once

#include "hubd/api_call.h"

// Pull requests: a head commit already on the hub, proposed for the
// repository's default branch, open until the repository's owner merges
// it (on the hub, with the project's merge engine) or it is closed.
//
// GET and POST /pull-requests/, GET /pull-requests/<id>,
// POST /pull-requests/<id>/merge?merge_method=merge|squash|rebase,
// POST /pull-requests/<id>/close.
Reply serve_pull_requests(const ApiCall& call);
