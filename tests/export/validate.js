// Runs the Khronos glTF validator on each .glb or .gltf file named on the command line
// (a .gltf's buffer and images are read from beside it) and prints one line per file with
// its errors, warnings, infos and hints, and every error and warning in full.
// Exit status: 0 when no file has an error, 1 otherwise, 2 on a usage or read failure.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

async function validate(file) {
    const bytes = new Uint8Array(fs.readFileSync(file));
    return validator.validateBytes(bytes, {
        uri: path.basename(file),
        maxIssues: 0,
        externalResourceFunction: (uri) => new Promise((resolve, reject) => {
            fs.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri)),
                        (err, data) => (err ? reject(err.toString()) : resolve(new Uint8Array(data))));
        }),
    });
}

async function main() {
    const files = process.argv.slice(2);
    if (files.length === 0) {
        console.error('usage: node validate.js FILE.glb|FILE.gltf...');
        process.exit(2);
    }
    let failed = 0;
    for (const file of files) {
        let report;
        try {
            report = await validate(file);
        } catch (error) {
            console.error(`${file}: cannot validate: ${error}`);
            process.exit(2);
        }
        const i = report.issues;
        console.log(`${file}: ${i.numErrors} errors, ${i.numWarnings} warnings, ` +
                    `${i.numInfos} infos, ${i.numHints} hints`);
        for (const m of i.messages) {
            if (m.severity <= 1) {
                console.log(`  ${m.severity === 0 ? 'error' : 'warning'} ${m.code} ` +
                            `${m.pointer || ''}: ${m.message}`);
            }
        }
        if (i.numErrors > 0) failed += 1;
    }
    console.log(`${files.length - failed} passed, ${failed} failed`);
    process.exit(failed > 0 ? 1 : 0);
}

main();
