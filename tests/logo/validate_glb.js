// The glTF validator on each file: prints what it reports and fails on any
// error or warning; infos and hints are only shown.
//   node validate_glb.js VALIDATOR_MODULE FILE.glb...
'use strict';
const fs = require('fs');
const validator = require(process.argv[2]);
const severities = ['error', 'warning', 'info', 'hint'];

(async () => {
    let failed = false;
    for (const file of process.argv.slice(3)) {
        const bytes = new Uint8Array(fs.readFileSync(file));
        const {issues} = await validator.validateBytes(bytes, {format: 'glb', maxIssues: 0});
        console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
                    `${issues.numInfos} infos, ${issues.numHints} hints`);
        for (const {severity, code, pointer, message} of issues.messages) {
            console.log(`  ${severities[severity]} ${code} ${pointer || ''}: ${message}`);
        }
        failed = failed || issues.numErrors + issues.numWarnings > 0;
    }
    process.exitCode = failed ? 1 : 0;
})().catch((error) => {
    console.log(`validate_glb: ${error}`);
    process.exitCode = 1;
});
