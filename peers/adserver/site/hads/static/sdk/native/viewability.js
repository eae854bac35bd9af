// Viewability measurement of the SDK-core page. The SDK hands over one unit per sample through
// HSDK_updateViewability({"units": [unit]}); a unit is viewable while its view is on a visible
// window and at least half of its ad box is visible. Each change of a unit's viewability is
// reported once with "visibilityChanged"; an unloaded unit ("doneReasonCode" "u") is untracked.
(function () {
    var reported = {};  // hashCode -> "1" or "0", as last reported

    function send(name, parameters) {
        var query = [];
        for (var key in parameters)
            query.push(encodeURIComponent(key) + '=' + encodeURIComponent(parameters[key]));
        window.location.href = 'hmsg://hsdk/' + name + '?' + query.join('&');
    }

    function area(box) {
        if (!box) return 0;
        return Math.max(0, box.right - box.left) * Math.max(0, box.bottom - box.top);
    }

    window.HSDK_viewability = {units: 0, last: null};

    window.HSDK_updateViewability = function (state) {
        var units = (state && state.units) || [];
        for (var i = 0; i < units.length; i++) {
            var unit = units[i];
            var id = String(unit.hashCode);
            window.HSDK_viewability.units++;
            window.HSDK_viewability.last = unit;
            if (unit.doneReasonCode === 'u') {
                delete reported[id];
                send('untrackViewabilityUnit', {hashCode: id});
                continue;
            }
            var ad = area(unit.adBox);
            var visible = unit.isVisible === '1' && unit.isSubViewOfVisibleWindow === '1' &&
                ad > 0 && area(unit.globalVisibleBox) * 2 >= ad ? '1' : '0';
            if (reported[id] !== visible) {
                reported[id] = visible;
                send('visibilityChanged', {hashCode: id, isVisible: visible});
            }
        }
    };
})();
